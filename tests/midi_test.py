#!/usr/bin/python3
"""pn2tavix-midi as a MIDI reader hears it: every piece that converts, from the golden cases and
tests/midi, is read back with mido and set beside what its tavix text says, as the tests' reader
reads that text: each note's key, channel, tick and length, when it sounds within 1 ms, and the
tempo map; a few are rendered by fluidsynth to a WAV that lasts as long as the piece and is not
silent. A piece that does not convert writes no file.

Usage: midi_test.py PN2TAVIX PN2TAVIX_MIDI TIMELINE_DUMP GOLDEN_DIR PIECES_DIR
Debian's python3-mido, fluidsynth and fluid-soundfont-gm (CI installs them)."""
import json
import math
import os
import subprocess
import sys
import tempfile
import wave

import mido

PN2TAVIX, MIDI, DUMP, GOLDEN, PIECES = sys.argv[1:6]
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
failures = []


def fail(name, what):
    failures.append(f"{name}: {what}")


def tempo_map(voice):
    """(tick, tempo) from tick 0, as the text sounds: a tempo of 0 or below keeps the one before."""
    changes = [(0, 67)]
    for tick, tempo in voice["tempos"]:
        if tempo <= 0:
            continue
        if tick == changes[-1][0]:
            changes[-1] = (tick, tempo)
        else:
            changes.append((tick, tempo))
    return [c for i, c in enumerate(changes) if i == 0 or c[1] != changes[i - 1][1]]


def seconds(changes, tick):
    """When `tick` sounds: 96 ticks a quarter, `tempo` quarters a minute."""
    total, (at, tempo) = 0.0, changes[0]
    for next_at, next_tempo in changes[1:]:
        if next_at > tick:
            break
        total += (next_at - at) * 60 / (96 * tempo)
        at, tempo = next_at, next_tempo
    return total + (tick - at) * 60 / (96 * tempo)


def file_seconds(tempos, tick):
    """When the file sounds `tick`, by its own tempo map of (tick, microseconds a quarter)."""
    total, at, us = 0.0, 0, 500000
    for next_at, next_us in tempos:
        if next_at > tick:
            break
        total += (next_at - at) * us / 96e6
        at, us = next_at, next_us
    return total + (tick - at) * us / 96e6


def check_piece(name, source, work):
    tavix = subprocess.run([PN2TAVIX, source], capture_output=True).stdout
    text_path = os.path.join(work, "piece.tavix")
    with open(text_path, "wb") as f:
        f.write(tavix)
    expected = json.loads(subprocess.run([DUMP, text_path], capture_output=True, text=True).stdout)
    mid = os.path.join(work, "piece.mid")
    run = subprocess.run([MIDI, "-o", mid, source], capture_output=True)
    if run.returncode != 0:
        fail(name, f"status {run.returncode}: {run.stderr.decode(errors='replace')}")
        return None
    f = mido.MidiFile(mid)
    voices = expected["voices"]
    # Waiting costs a few bytes however long: the file grows with the notes, not with the time.
    names = len(expected["title"]) + sum(len(v["title"]) for v in voices)
    if os.path.getsize(mid) > 200 + names + 100 * len(voices) + 16 * len(expected["notes"]) + 16 * sum(
            len(v["tempos"]) for v in voices):
        fail(name, f"{os.path.getsize(mid)} bytes for {len(expected['notes'])} notes")
    if (f.type, f.ticks_per_beat, len(f.tracks)) != (1, 96, 1 + len(voices)):
        fail(name, f"type {f.type}, division {f.ticks_per_beat}, {len(f.tracks)} tracks")
        return None

    tempos, tick = [], 0
    for e in f.tracks[0]:
        tick += e.time
        if e.type == "track_name" and e.name != expected["title"]:
            fail(name, f"conductor named {e.name!r}")
        if e.type == "set_tempo":
            tempos.append((tick, e.tempo))
    maps = [tempo_map(v) for v in voices]
    longest = max(range(len(voices)), key=lambda i: (voices[i]["end"], -i), default=0)
    shared = all(
        [c for c in m if c[0] < v["end"]] == [c for c in maps[longest] if c[0] < v["end"]]
        for m, v in zip(maps, voices)
    )
    if shared and voices:
        # Each change of tempo where the text has it, as whole microseconds a quarter; between
        # them, only the events that correct their rounding, a microsecond or so away.
        wanted = [(t, round(60e6 / tempo)) for t, tempo in maps[longest]
                  if t < max(1, voices[longest]["end"])]
        in_force = lambda tick: [us for t, us in wanted if t <= tick][-1]
        if not set(wanted) <= set(tempos) or any(
                abs(us - in_force(t)) > 0.01 * in_force(t) for t, us in tempos):
            fail(name, f"tempo map {tempos}, expected {wanted}")

    channels, found = [], []  # each voice's channels and its notes [on, off, key, channel]
    for voice, track in zip(voices, f.tracks[1:]):
        tick, held, notes, settings = 0, {}, [], {}
        channels.append(set())
        found.append(notes)
        for e in track:
            tick += e.time
            # The text keeps the first voice's title alone.
            if e.type == "track_name" and voice is voices[0] and e.name != voice["title"]:
                fail(name, f"voice {voice['voice']} named {e.name!r}")
            if e.is_meta:
                continue
            if e.channel == 9:
                fail(name, f"voice {voice['voice']} on the percussion channel")
            channels[-1].add(e.channel)
            if e.type == "program_change":
                settings["program"] = e.program
            elif e.type == "control_change":
                settings[{10: "pan", 91: "reverb", 93: "chorus"}.get(e.control, e.control)] = e.value
            elif e.type == "note_on" and e.velocity > 0:
                held.setdefault(e.note, []).append(len(notes))
                notes.append([tick, None, e.note, e.channel])
            elif e.type in ("note_off", "note_on") and held.get(e.note):
                notes[held[e.note].pop(0)][1] = tick
        for key in ("program", "pan", "reverb", "chorus"):
            if settings.get(key) != voice[key]:
                fail(name, f"voice {voice['voice']} {key} {settings.get(key)}, not {voice[key]}")
    every = [c for cs in channels for c in cs]
    if any(len(cs) != 1 for cs in channels) or (len(voices) <= 15 and len(set(every)) < len(every)):
        fail(name, f"not one channel for each voice, and its own for up to 15: {channels}")
    shared_channels = {c for c in every if every.count(c) > 1}

    intervals = {}  # (channel, key): the file's ticks at which the text sounds it
    for i, (voice, notes) in enumerate(zip(voices, found)):
        # Nothing starts past tick 2^32 - 1 of the file.
        first = (lambda n: n[1]) if shared else (lambda n: round(seconds(maps[i], n[1]) * 1000))
        want = [n for n in expected["notes"]
                if n[0] == voice["voice"] and n[3] > 0 and first(n) < 2**32 - 1]
        if len(notes) != len(want):
            fail(name, f"voice {voice['voice']}: {len(notes)} notes, expected {len(want)}")
            continue
        for (on, off, key, channel), (_, start, _, sounding, want_key) in zip(notes, want):
            where = f"voice {voice['voice']} note at tick {start}"
            if key != want_key:
                fail(name, f"{where}: key {key}, expected {want_key}")
            if shared and on != start:
                fail(name, f"{where}: at tick {on}")
            # Where voices share a channel, a note ends when the last voice holding its key
            # lets go: its own end may be another voice's.
            if shared and channel not in shared_channels and off != start + sounding:
                fail(name, f"{where}: ends at tick {off}, expected {start + sounding}")
            drift = file_seconds(tempos, on) - seconds(maps[i], start)
            if abs(drift) > 0.001:
                fail(name, f"{where}: sounds {drift * 1000:.3f} ms from the text")
            end = start + sounding if shared else round(seconds(maps[i], start + sounding) * 1000)
            intervals.setdefault((channel, key), []).append((on, end))
    # A voice sharing a channel does not cut short a key that another holds.
    for voice, track in zip(voices, f.tracks[1:]):
        tick = 0
        for e in track:
            tick += e.time
            if e.type == "note_off" and e.channel in shared_channels:
                for on, off in intervals.get((e.channel, e.note), []):
                    if on < tick < off:
                        fail(name, f"voice {voice['voice']} lets go of key {e.note} at {tick}, "
                             f"held from {on} to {off}")
    index = {v["voice"]: i for i, v in enumerate(voices)}
    last = max((seconds(maps[index[n[0]]], n[1] + n[3]) for n in expected["notes"] if n[3] > 0),
               default=0)
    return last, mid


def check_render(name, mid, last):
    """fluidsynth renders the file to a WAV that lasts the piece (and its last release) and
    is not silent."""
    wav = mid[:-4] + ".wav"
    run = subprocess.run(["fluidsynth", "-n", "-i", "-q", "-r", "22050", "-F", wav, SOUNDFONT, mid],
                         capture_output=True)
    if run.returncode != 0:
        fail(name, f"fluidsynth: {run.stderr.decode(errors='replace')}")
        return
    with wave.open(wav) as w:
        frames, rate, width = w.getnframes(), w.getframerate(), w.getsampwidth()
        data = w.readframes(frames)
    duration = frames / rate
    if not last <= duration <= last + 3:
        fail(name, f"rendered {duration:.2f} s for a piece whose last note ends at {last:.2f} s")
    samples = memoryview(data).cast("h") if width == 2 else None
    rms = math.sqrt(sum(s * s for s in samples) / max(1, len(samples))) if samples else 0
    if rms < 100:
        fail(name, f"rendered silence (RMS {rms:.1f})")


def main():
    cases = []
    for root, _, files in os.walk(GOLDEN):
        for file in files:
            if file.endswith(".in"):
                base = os.path.join(root, file[:-3])
                status = open(base + ".status").read().strip() if os.path.exists(base + ".status") else "0"
                cases.append((os.path.relpath(base, GOLDEN), base + ".in", status == "0"))
    for file in os.listdir(PIECES):
        cases.append((file, os.path.join(PIECES, file), True))
    rendered = {"10_minuet/01_minuet", "19_whole_pieces/01_duet", "tempos.pdp1"}
    checked = 0
    with tempfile.TemporaryDirectory() as work:
        for name, source, converts in sorted(cases):
            if not converts:
                mid = os.path.join(work, "refused.mid")
                run = subprocess.run([MIDI, "-o", mid, source], capture_output=True)
                if run.returncode != 1 or os.path.exists(mid) or os.listdir(work) != []:
                    fail(name, f"status {run.returncode} or a file left for a piece that fails")
                continue
            found = check_piece(name, source, work)
            checked += 1
            if found and name in rendered:
                check_render(name, found[1], found[0])
                rendered.discard(name)
            for leftover in os.listdir(work):
                os.remove(os.path.join(work, leftover))
    if rendered:
        fail("render", f"not found: {sorted(rendered)}")
    for line in failures:
        print("FAIL:", line)
    print(f"{checked} pieces read back, {len(failures)} failures")
    return 1 if failures or checked < 50 else 0


if __name__ == "__main__":
    sys.exit(main())
