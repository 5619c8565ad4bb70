// The converter as the WebAssembly build exports it to JavaScript: a conversion's result held
// in memory until the caller has read it and releases it, with plain accessors for each part.
// Only the public API is used; knows nothing of pages, workers or how a message is shown.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <streambuf>
#include <string_view>
#include <vector>

#include "pn2tavix/pn2tavix.h"

namespace {

using pn2tavix::Hint;
using pn2tavix::Message;
using pn2tavix::Position;
using pn2tavix::Title;

// The fields of one note as JavaScript reads them from a 32-bit array, in this order; the
// module's notes() reads the same order.
enum NoteField : int {
  kVoice,
  kMeasure,
  kStart,
  kLength,
  kMeasureLength,
  kSemitone,
  kLetter,      // the character code, 'a' to 'g'
  kAccidental,  // the character code of '+' or '-'; 0 for none
  kOctave,
  kLine,
  kColumn,
  kTokenLength,
  kNoteFields
};

// The tavix text goes to the module's JavaScript block by block as it is made (pn2tavix.mjs's
// takeOutput), which gathers it in the array the caller gets. Kept in a string here and copied
// out at the end, the 5 MB conversion took 8 % longer (bench/README.md, "The module's output").
EM_JS(void, pn2tavix_take_output, (const char* at, std::size_t size),
      { Module.takeOutput(at >>> 0, size >>> 0); });

class ToJavaScript : public std::streambuf {
 protected:
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    pn2tavix_take_output(text, static_cast<std::size_t>(size));
    return size;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char one = traits_type::to_char_type(c);
    pn2tavix_take_output(&one, 1);
    return c;
  }
};

struct Converted {
  pn2tavix::Result result;
  std::vector<std::int32_t> notes;        // kNoteFields numbers a note
  std::vector<std::int32_t> timeline[6];  // by TimelineList: each list's records, packed
};

// The lists of a timeline as JavaScript reads them, each a 32-bit array of records whose
// fields are in the order below; the module's TIMELINE_FIELDS names the same.
enum TimelineList : int {
  kVoices,
  kTempos,
  kTimedNotes,
  kRests,
  kChanges,
  kMeasures,
  kTimelineLists
};
enum VoiceField : int {
  kVoiceNumber,
  kVoicePan,
  kVoiceProgram,
  kVoiceReverb,
  kVoiceChorus,
  kVoiceEnd,
  kVoiceFields
};
enum TempoField : int {
  kTempoVoice,
  kTempoTick,
  kTempoValue,
  kTempoMeasure,
  kTempoLine,
  kTempoColumn,
  kTempoOffset,
  kTempoFields
};
enum TimedNoteField : int {
  kNoteVoice,
  kNoteMeasure,
  kNoteStart,
  kNoteLength,
  kNoteSounding,
  kNoteKey,
  kNoteValue,
  kNoteDots,
  kNoteTriplet,
  kNoteLine,
  kNoteColumn,
  kNoteOffset,
  kNoteTokenLength,
  kTimedNoteFields
};
enum RestField : int {
  kRestVoice,
  kRestMeasure,
  kRestStart,
  kRestLength,
  kRestWholeMeasure,
  kRestValue,
  kRestDots,
  kRestTriplet,
  kRestLine,
  kRestColumn,
  kRestOffset,
  kRestTokenLength,
  kRestFields
};
enum ChangeField : int {
  kChangeVoice,
  kChangeTick,
  kChangeMeasure,
  kChangeKind,  // 0 clef, 1 key signature, 2 measure length
  kChangeValue,
  kChangeLine,
  kChangeColumn,
  kChangeOffset,
  kChangeFields
};
enum MeasureField : int {
  kMeasureVoice,
  kMeasureNumber,
  kMeasureStart,
  kMeasureLengthTicks,
  kMeasureKind,  // 0 written, 1 a whole-measure rest, 2 a copy
  kMeasureCopiedFrom,
  kMeasureFields
};
constexpr int kTimelineFields[kTimelineLists] = {kVoiceFields, kTempoFields,  kTimedNoteFields,
                                                 kRestFields,  kChangeFields, kMeasureFields};

// Counts no input of wasm32 can reach; clamped rather than wrapped all the same.
std::int32_t narrow(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A place's parts as JavaScript numbers, exact up to 2^53; -1 where there is no place.
double line_of(const std::optional<Position>& at) {
  return at ? static_cast<double>(at->line) : -1;
}
double column_of(const std::optional<Position>& at) {
  return at ? static_cast<double>(at->column) : -1;
}
double offset_of(const std::optional<Position>& at) {
  return at ? static_cast<double>(at->offset) : -1;
}

// Packs each record of `from` as the `N` numbers that `fields` gives, into `to`. A list of a
// large piece holds millions of numbers: appended record by record, they took 8 % of a 5 MB
// piece's conversion with its notes and timeline, which is 5 % quicker with them written in place.
template <std::size_t N, typename Record, typename Fields>
void pack(std::vector<std::int32_t>& to, const std::vector<Record>& from, Fields fields) {
  to.resize(from.size() * N);
  std::int32_t* at = to.data();
  for (const Record& r : from) {
    const std::array<std::int32_t, N> f = fields(r);
    at = std::copy(f.begin(), f.end(), at);
  }
}

// Packs the timeline into the lists that JavaScript reads. Ticks past 2^31 - 1, which only
// measures of millions of notes reach, are clamped.
void pack_timeline(const pn2tavix::Timeline& t, Converted& c) {
  auto& voices = c.timeline[kVoices];
  auto& tempos = c.timeline[kTempos];
  for (const pn2tavix::TimedVoice& v : t.voices) {
    voices.insert(voices.end(),
                  {narrow(v.voice), v.pan, v.program, v.reverb, v.chorus, narrow(v.end)});
    for (const pn2tavix::TempoChange& k : v.tempos) {
      tempos.insert(tempos.end(), {narrow(v.voice), narrow(k.tick), k.tempo, k.measure,
                                   narrow(k.at.line), narrow(k.at.column), narrow(k.at.offset)});
    }
  }
  pack<kTimedNoteFields>(c.timeline[kTimedNotes], t.notes, [](const pn2tavix::TimedNote& n) {
    return std::array{narrow(n.voice),       n.measure,           narrow(n.start),
                      narrow(n.length),      narrow(n.sounding),  n.key,
                      n.written.value,       n.written.dots,      int{n.written.triplet},
                      narrow(n.at.line),     narrow(n.at.column), narrow(n.at.offset),
                      narrow(n.token_length)};
  });
  pack<kRestFields>(c.timeline[kRests], t.rests, [](const pn2tavix::TimedRest& r) {
    return std::array{
        narrow(r.voice),      r.measure,           narrow(r.start),     narrow(r.length),
        int{r.whole_measure}, r.written.value,     r.written.dots,      int{r.written.triplet},
        narrow(r.at.line),    narrow(r.at.column), narrow(r.at.offset), narrow(r.token_length)};
  });
  pack<kChangeFields>(c.timeline[kChanges], t.changes, [](const pn2tavix::TimedChange& k) {
    return std::array{
        narrow(k.voice), narrow(k.tick),    k.measure,           static_cast<std::int32_t>(k.kind),
        narrow(k.value), narrow(k.at.line), narrow(k.at.column), narrow(k.at.offset)};
  });
  pack<kMeasureFields>(c.timeline[kMeasures], t.measures, [](const pn2tavix::TimedMeasure& m) {
    return std::array{narrow(m.voice),
                      m.number,
                      narrow(m.start),
                      narrow(m.length),
                      static_cast<std::int32_t>(m.kind),
                      m.copied_from};
  });
}

// Packs the result's timeline for JavaScript, and lets go of all of it but the voices' names.
void keep_timeline(Converted& c) {
  pack_timeline(c.result.timeline, c);
  c.result.timeline.notes = {};
  c.result.timeline.rests = {};
  c.result.timeline.changes = {};
  c.result.timeline.measures = {};
}

}  // namespace

extern "C" {

/// What pn2tavix_convert() keeps besides the text and the messages, as bits of its `flags`.
enum ConvertFlag : int { kWithNotes = 1, kWithTimeline = 2, kWithMidi = 4 };

/// Converts the `size` bytes at `input`; with kWithNotes in `flags`, keeps the notes for
/// drawing, with kWithTimeline the timeline, with kWithMidi the MIDI file.
/// Built without exceptions, so running out of memory aborts the module: pn2tavix.mjs reports
/// that as the program's message and starts a new one, rather than relying on a catch here.
EMSCRIPTEN_KEEPALIVE Converted* pn2tavix_convert(const char* input, std::size_t size, int flags) {
  auto* c = new Converted;
  pn2tavix::Options options;
  options.note_events = (flags & kWithNotes) != 0;
  options.timeline = (flags & kWithTimeline) != 0;
  options.midi = (flags & kWithMidi) != 0;
  ToJavaScript output;
  options.write_to = &output;
  c->result = pn2tavix::convert(std::string_view(input, size), options);
  keep_timeline(*c);
  pack<kNoteFields>(c->notes, c->result.notes, [](const pn2tavix::NoteEvent& n) {
    return std::array{narrow(n.voice),   narrow(n.measure),        narrow(n.start),
                      narrow(n.length),  narrow(n.measure_length), n.semitone,
                      int{n.letter},     int{n.accidental},        n.octave,
                      narrow(n.at.line), narrow(n.at.column),      n.token_length};
  });
  c->result.notes = {};
  return c;
}

EMSCRIPTEN_KEEPALIVE void pn2tavix_release(Converted* c) { delete c; }

EMSCRIPTEN_KEEPALIVE int pn2tavix_status(const Converted* c) { return c->result.status; }

EMSCRIPTEN_KEEPALIVE const std::int32_t* pn2tavix_notes(const Converted* c) {
  return c->notes.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_note_count(const Converted* c) {
  return c->notes.size() / kNoteFields;
}
EMSCRIPTEN_KEEPALIVE int pn2tavix_note_fields() { return kNoteFields; }

EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_message_count(const Converted* c) {
  return c->result.messages.size();
}
EMSCRIPTEN_KEEPALIVE const Message* pn2tavix_message(const Converted* c, std::size_t i) {
  return &c->result.messages[i];
}

/// 0 an error, 1 a warning.
EMSCRIPTEN_KEEPALIVE int pn2tavix_message_severity(const Message* m) {
  return m->severity == pn2tavix::Severity::kWarning ? 1 : 0;
}
/// 1 where the program prints the message; 0 for a warning only the checker gives.
EMSCRIPTEN_KEEPALIVE int pn2tavix_message_printed(const Message* m) { return m->printed; }
EMSCRIPTEN_KEEPALIVE int pn2tavix_message_status(const Message* m) { return m->status; }
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_message_text(const Message* m) { return m->text.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_message_text_size(const Message* m) {
  return m->text.size();
}
EMSCRIPTEN_KEEPALIVE double pn2tavix_message_line(const Message* m) { return line_of(m->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_message_column(const Message* m) { return column_of(m->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_message_offset(const Message* m) { return offset_of(m->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_message_voice(const Message* m) {
  return static_cast<double>(m->voice);
}
EMSCRIPTEN_KEEPALIVE int pn2tavix_message_measure(const Message* m) { return m->measure; }
/// Bytes of the token or title the message points at; 0 for the end of input or no extent.
EMSCRIPTEN_KEEPALIVE double pn2tavix_message_length(const Message* m) {
  return static_cast<double>(m->length);
}

EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_hint_count(const Message* m) { return m->hints.size(); }
EMSCRIPTEN_KEEPALIVE const Hint* pn2tavix_hint(const Message* m, std::size_t i) {
  return &m->hints[i];
}
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_hint_text(const Hint* h) { return h->text.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_hint_text_size(const Hint* h) { return h->text.size(); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_hint_line(const Hint* h) { return line_of(h->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_hint_column(const Hint* h) { return column_of(h->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_hint_offset(const Hint* h) { return offset_of(h->at); }
EMSCRIPTEN_KEEPALIVE double pn2tavix_hint_length(const Hint* h) {
  return static_cast<double>(h->length);
}

/// The first title as read: the one the output names.
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_title(const Converted* c) {
  return c->result.title.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_title_size(const Converted* c) {
  return c->result.title.size();
}
/// Each voice's title, with its place.
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_title_count(const Converted* c) {
  return c->result.titles.size();
}
EMSCRIPTEN_KEEPALIVE const Title* pn2tavix_voice_title(const Converted* c, std::size_t i) {
  return &c->result.titles[i];
}
EMSCRIPTEN_KEEPALIVE double pn2tavix_voice_title_voice(const Title* t) {
  return static_cast<double>(t->voice);
}
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_voice_title_text(const Title* t) {
  return t->text.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_voice_title_text_size(const Title* t) {
  return t->text.size();
}
EMSCRIPTEN_KEEPALIVE double pn2tavix_voice_title_line(const Title* t) {
  return static_cast<double>(t->at.line);
}
EMSCRIPTEN_KEEPALIVE double pn2tavix_voice_title_column(const Title* t) {
  return static_cast<double>(t->at.column);
}
EMSCRIPTEN_KEEPALIVE double pn2tavix_voice_title_offset(const Title* t) {
  return static_cast<double>(t->at.offset);
}

/// The library's version, ended by a NUL: version() views a string literal.
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_version() { return pn2tavix::version().data(); }

/// The records of timeline list `list` (a TimelineList), kTimelineFields[list] numbers each.
EMSCRIPTEN_KEEPALIVE const std::int32_t* pn2tavix_timeline(const Converted* c, int list) {
  return c->timeline[list].data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_timeline_count(const Converted* c, int list) {
  return c->timeline[list].size() / kTimelineFields[list];
}
EMSCRIPTEN_KEEPALIVE int pn2tavix_timeline_fields(int list) { return kTimelineFields[list]; }

/// The piece's Standard MIDI File; empty unless asked for and converted.
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_midi(const Converted* c) { return c->result.midi.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_midi_size(const Converted* c) {
  return c->result.midi.size();
}

/// The title and "$patch" of voice `i` (its index in the timeline's voices).
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_timeline_voice_title(const Converted* c, std::size_t i) {
  return c->result.timeline.voices[i].title.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_timeline_voice_title_size(const Converted* c,
                                                                    std::size_t i) {
  return c->result.timeline.voices[i].title.size();
}
EMSCRIPTEN_KEEPALIVE const char* pn2tavix_timeline_voice_patch(const Converted* c, std::size_t i) {
  return c->result.timeline.voices[i].patch.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t pn2tavix_timeline_voice_patch_size(const Converted* c,
                                                                    std::size_t i) {
  return c->result.timeline.voices[i].patch.size();
}

}  // extern "C"
