// The player: plays a plan (plan.js) on the audio clock. A timer schedules the notes of the
// next few seconds, and everything that moves with the music reads its place from the same
// clock, so sound and cursor cannot drift apart. Playing is a chain of stretches ("runs"):
// from audio time `audio` on, piece second `piece` sounds, up to piece second `end`, at the
// player's rate; a loop adds a run for each pass, and an edit while playing adds one at the
// next measure, with the new plan.
import { firstFrom, measureSpan, nextMeasure } from './plan.js';
import { createBus, playNote } from './synth.js';

const LOOKAHEAD = 3; // seconds of music scheduled ahead of the clock
const TICK = 100; // ms between two schedulings
const BUDGET = 25; // ms a scheduling may take: the page goes on answering whatever the piece
const LEAD = 0.05; // seconds from a command to its first sound
const PREVIEW = { shortest: 0.2, longest: 3 }; // seconds a note heard alone lasts

/**
 * Makes a player. `context` is an AudioContext to play into (an OfflineAudioContext renders
 * the whole of it at once); without one, the player makes its own at the first play.
 * `onChange()` is called when it starts, pauses, stops or ends.
 */
export function createPlayer({ context = null, onChange = () => {} } = {}) {
  let ctx = context;
  let master = null;
  const buses = new Map(); // voice -> bus
  const settings = { sound: 'flute', rate: 1, volume: 0.8, width: 1 };
  const muted = new Set();
  const solo = new Set();
  let loop = null; // {first, last}: measure numbers
  let plan = null;
  let runs = []; // in audio time order; the last is the one being scheduled
  let scheduled = []; // {on, off, i, plan, stop}: audio times
  let playing = false;
  let resumeAt = 0; // piece second to play from when not playing
  let timer = 0;
  const offline = () => typeof ctx.startRendering === 'function';

  function audio() {
    if (!ctx) ctx = new AudioContext({ latencyHint: 'playback' });
    if (!master) {
      master = ctx.createGain();
      master.gain.value = settings.volume;
      master.connect(ctx.destination);
    }
    if (ctx.state === 'suspended' && !offline()) ctx.resume();
    return ctx;
  }

  const audible = (voice) => (solo.size > 0 ? solo.has(voice) : !muted.has(voice));

  function busOf(voice) {
    let bus = buses.get(voice);
    if (!bus) {
      bus = createBus(ctx, master, plan.voices[voice]?.pan ?? 64);
      bus.setWidth(settings.width);
      bus.input.gain.value = audible(voice) ? 1 : 0;
      buses.set(voice, bus);
    }
    return bus;
  }

  function loopSpan(p) {
    if (!loop) return null;
    const first = measureSpan(p, loop.first);
    const last = measureSpan(p, loop.last);
    return first && last && last.off > first.on ? { from: first.on, to: last.off } : null;
  }

  const audioOf = (run, sec) => run.audio + (sec - run.piece) / settings.rate;

  // Schedules the notes up to `horizon` (audio time), run after run, for at most `budget` ms;
  // the next scheduling goes on from there.
  function fill(horizon, budget = Infinity) {
    const now = ctx.currentTime;
    const until = performance.now() + budget;
    scheduled = scheduled.filter((s) => s.off + 0.2 > now);
    for (;;) {
      const run = runs[runs.length - 1];
      if (!run) return;
      const p = run.plan;
      for (; run.next < p.count; run.next++) {
        const i = p.order[run.next];
        if (p.on[i] >= run.end) break;
        const on = audioOf(run, p.on[i]);
        if (on >= horizon || performance.now() > until) return;
        const off = audioOf(run, Math.min(p.off[i], run.end));
        const stop = playNote(ctx, busOf(p.voice[i]), settings.sound, p.key[i], on, off);
        scheduled.push({ on, off, i, plan: p, stop });
      }
      const end = audioOf(run, run.end);
      if (end >= horizon) return;
      // A loop's next pass plays the latest plan.
      const span = loopSpan(plan);
      if (!span || run.ended) {
        run.ended = true;
        return;
      }
      runs.push({
        audio: end,
        piece: span.from,
        end: span.to,
        plan,
        next: firstFrom(plan, span.from),
      });
    }
  }

  function tick() {
    const now = ctx.currentTime;
    fill(now + LOOKAHEAD, BUDGET);
    while (runs.length > 1 && runs[1].audio <= now) runs.shift();
    const run = runs[0];
    if (run?.ended && now >= audioOf(run, run.end)) stop(false);
  }

  function cancel(from = -Infinity) {
    scheduled = scheduled.filter((s) => {
      if (s.on < from) return true;
      s.stop();
      return false;
    });
  }

  /** Plays from piece second `from` (else from where it paused or stopped). */
  function play(from = resumeAt) {
    if (!plan) return;
    audio();
    cancel();
    const span = loopSpan(plan);
    const start = span && (from < span.from || from >= span.to) ? span.from : from;
    const end = span ? span.to : plan.end;
    const at = ctx.currentTime + (offline() ? 0 : LEAD);
    runs = [{ audio: at, piece: start, end, plan, next: firstFrom(plan, start) }];
    playing = true;
    if (offline()) {
      fill(ctx.length / ctx.sampleRate);
    } else {
      clearInterval(timer);
      timer = setInterval(tick, TICK);
      tick();
    }
    onChange();
  }

  function halt() {
    clearInterval(timer);
    cancel();
    runs = [];
    playing = false;
  }

  function pause() {
    if (!playing) return;
    resumeAt = position().sec;
    halt();
    onChange();
  }

  /** Stops; the next play starts from the beginning (`rewind`) or where it stopped. */
  function stop(rewind = true) {
    const { sec } = position();
    halt();
    resumeAt = rewind ? 0 : sec;
    if (!rewind && plan && sec >= plan.end) resumeAt = 0;
    onChange();
  }

  // The audio time that is being heard: the clock less the time the sound takes to come out,
  // read between the clock's steps from the page's own clock.
  function heard() {
    if (offline()) return ctx.currentTime;
    const stamp = ctx.getOutputTimestamp?.();
    if (!(stamp?.contextTime > 0)) return ctx.currentTime - (ctx.outputLatency || 0);
    const since = (performance.now() - stamp.performanceTime) / 1000;
    return Math.min(ctx.currentTime, stamp.contextTime + Math.max(0, since));
  }

  /**
   * Where the music is at audio time `now` (by default, what is heard now): {sec, plan}, the
   * piece second, and the plan it is of.
   */
  function position(now = playing ? heard() : 0) {
    if (!playing || runs.length === 0) return { sec: resumeAt, plan };
    let run = runs[0];
    for (const r of runs) if (r.audio <= now) run = r;
    const sec = run.piece + Math.max(0, now - run.audio) * settings.rate;
    return { sec: Math.min(sec, run.end), plan: run.plan };
  }

  /** The notes sounding now, as indices in the plan that position() gives. */
  function sounding() {
    if (!playing) return [];
    const now = heard();
    const { plan: p } = position(now);
    return scheduled.filter((s) => s.plan === p && s.on <= now && now < s.off).map((s) => s.i);
  }

  // Plays on from where it is, with the settings changed, from just after now.
  function again() {
    if (playing) play(position(ctx.currentTime).sec + LEAD * settings.rate);
  }

  /**
   * Takes a new plan. While playing, the notes go on as they were up to the next measure
   * that is not yet sounding, and from there the new plan's measure of that number plays; a
   * loop takes it at its next pass.
   */
  function load(next) {
    const old = plan;
    plan = next;
    if (!playing || !old) return;
    // From the scheduling clock: what is heard is a little behind it.
    const { sec } = position(ctx.currentTime);
    const number = nextMeasure(old, sec + LEAD * settings.rate);
    const was = number === null ? null : measureSpan(old, number);
    const now = number === null ? null : measureSpan(next, number);
    const span = loopSpan(old);
    // Past the last measure, the piece ends as it was; in a loop, its next pass takes it.
    if (!was || !now || (span && was.on >= span.to)) return;
    let current = runs[0];
    for (const r of runs) if (r.audio <= ctx.currentTime) current = r;
    const at = audioOf(current, was.on);
    cancel(at);
    current.end = was.on;
    current.ended = false;
    const newSpan = loopSpan(next);
    const end = newSpan ? newSpan.to : next.end;
    runs = [...runs.slice(0, runs.indexOf(current) + 1)];
    runs.push({ audio: at, piece: now.on, end, plan: next, next: firstFrom(next, now.on) });
    if (offline()) fill(ctx.length / ctx.sampleRate);
    else tick();
  }

  /** Sounds note `i` of the plan alone, at once. */
  function preview(i) {
    if (!plan || i < 0 || i >= plan.count) return;
    audio();
    const length = (plan.off[i] - plan.on[i]) / settings.rate;
    const on = ctx.currentTime + 0.01;
    const off = on + Math.max(PREVIEW.shortest, Math.min(PREVIEW.longest, length));
    const bus = createBus(ctx, master, plan.voices[plan.voice[i]]?.pan ?? 64);
    bus.setWidth(settings.width);
    playNote(ctx, bus, settings.sound, plan.key[i], on, off);
    setTimeout(() => bus.disconnect(), (off - on + 0.5) * 1000);
  }

  return {
    load,
    play,
    pause,
    stop,
    preview,
    position,
    sounding,
    get playing() {
      return playing;
    },
    get plan() {
      return plan;
    },
    /** The loop: {first, last} measure numbers, or null for none. */
    setLoop(range) {
      loop = range;
      again();
    },
    get loop() {
      return loop;
    },
    setRate(rate) {
      const { sec } = position(playing ? ctx.currentTime : 0);
      settings.rate = Math.max(0.25, Math.min(2, rate));
      if (playing) play(sec);
    },
    setSound(sound) {
      settings.sound = sound;
      again();
    },
    setVolume(volume) {
      settings.volume = volume;
      if (master) master.gain.setTargetAtTime(volume, ctx.currentTime, 0.02);
    },
    setWidth(width) {
      settings.width = width;
      for (const bus of buses.values()) bus.setWidth(width);
    },
    /** Mutes or unmutes voice `voice`; with `alone`, solos or unsolos it. */
    setMuted(voice, on, alone = false) {
      const set = alone ? solo : muted;
      if (on) set.add(voice);
      else set.delete(voice);
      for (const [v, bus] of buses) bus.setAudible(audible(v));
    },
    audible,
    get context() {
      return ctx;
    },
  };
}
