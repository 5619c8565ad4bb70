// The two sounds, made with oscillators alone (no samples, nothing loaded): a simple flute
// (a soft periodic wave with a slow attack and a vibrato) and the PDP-1's own square
// wave. Each voice sounds through a bus of its own, for muting and panning.

export const frequencyOf = (key) => 440 * 2 ** ((key - 69) / 12);

const flutes = new WeakMap(); // context -> its flute wave

// A flute is mostly its fundamental, with a little of the next few harmonics.
function fluteWave(context) {
  let wave = flutes.get(context);
  if (!wave) {
    const harmonics = [0, 1, 0.32, 0.11, 0.05, 0.02];
    wave = context.createPeriodicWave(
      new Float32Array(harmonics.length),
      Float32Array.from(harmonics),
    );
    flutes.set(context, wave);
  }
  return wave;
}

const vibratos = new WeakMap(); // context -> its vibrato

// A player's vibrato, about 5 a second and a tenth of a semitone either way: one for all the
// notes, which each take it while they sound.
function vibratoOf(context) {
  let depth = vibratos.get(context);
  if (!depth) {
    const wobble = context.createOscillator();
    depth = context.createGain();
    wobble.frequency.value = 5;
    depth.gain.value = 10; // cents
    wobble.connect(depth);
    wobble.start();
    vibratos.set(context, depth);
  }
  return depth;
}

const SHAPES = {
  flute: { level: 0.35, attack: 0.035, release: 0.06 },
  square: { level: 0.12, attack: 0.002, release: 0.004 },
};

/**
 * A voice's bus into `destination`: a gain for muting, then a panner. `pan` is the text's 0
 * (left) to 127 (right).
 */
export function createBus(context, destination, pan) {
  const gain = context.createGain();
  const panner = context.createStereoPanner();
  gain.connect(panner).connect(destination);
  const bus = {
    input: gain,
    setAudible(on) {
      gain.gain.setTargetAtTime(on ? 1 : 0, context.currentTime, 0.01);
    },
    /** `width` 0 (all in the middle) to 1 (as the text says). */
    setWidth(width) {
      panner.pan.value = Math.max(-1, Math.min(1, (pan / 127) * 2 - 1)) * width;
    },
    disconnect() {
      panner.disconnect();
    },
  };
  return bus;
}

/**
 * Sounds MIDI key `key` with sound `sound` into `bus` from audio time `on` to `off`. Returns
 * a function that silences it at once, whether it has begun or not.
 */
export function playNote(context, bus, sound, key, on, off) {
  const shape = SHAPES[sound] ?? SHAPES.flute;
  const osc = context.createOscillator();
  const envelope = context.createGain();
  const frequency = frequencyOf(key);
  osc.frequency.value = frequency;
  if (sound === 'square') osc.type = 'square';
  else osc.setPeriodicWave(fluteWave(context));
  // Short notes still reach their level: the attack takes at most half the note.
  const attack = Math.min(shape.attack, (off - on) / 2);
  envelope.gain.setValueAtTime(0, on);
  envelope.gain.linearRampToValueAtTime(shape.level, on + attack);
  envelope.gain.setValueAtTime(shape.level, off);
  envelope.gain.linearRampToValueAtTime(0, off + shape.release);
  osc.connect(envelope).connect(bus.input);
  if (sound !== 'square') {
    const vibrato = vibratoOf(context);
    vibrato.connect(osc.detune);
    osc.onended = () => vibrato.disconnect(osc.detune);
  }
  osc.start(on);
  osc.stop(off + shape.release);
  return () => envelope.disconnect();
}
