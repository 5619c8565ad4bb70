#include "api/timeline.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace pn2tavix::detail {

namespace {

constexpr std::int64_t kTicksPer192nd = 2;  // 384 ticks to a whole note
constexpr int kSemitoneOfC2 = 24;           // MIDI key of c2, so that c5 is 60
constexpr int kFluteProgram = 73;           // General MIDI's flute, counted from 0

}  // namespace

void KeepEvents::measure_event(long long voice, int measure, const MeasureEvent& e) {
  using Kind = MeasureEvent::Kind;
  if (notes_ != nullptr && e.kind == Kind::kNote) {
    notes_->push_back({.voice = voice,
                       .measure = measure,
                       .start = e.start,
                       .length = e.length,
                       .measure_length = e.measure_length,
                       .letter = e.letter,
                       .accidental = e.accidental,
                       .octave = e.octave,
                       .semitone = e.semitone,
                       .at = e.at,
                       .token_length = static_cast<int>(e.token_length)});
  }
  if (timeline_ == nullptr) return;
  Timeline& t = *timeline_;
  const std::int64_t tick = measure_start_ + kTicksPer192nd * e.start;
  const std::int64_t length = kTicksPer192nd * e.length;
  const WrittenValue written{.value = e.note_value, .dots = e.dots, .triplet = e.triplet};
  switch (e.kind) {
    case Kind::kNote:
      t.notes.push_back({.voice = voice,
                         .measure = measure,
                         .start = tick,
                         .length = length,
                         .sounding = std::max<std::int64_t>(length - e.value, 0),
                         .key = e.semitone + kSemitoneOfC2,
                         .letter = e.letter,
                         .accidental = e.accidental,
                         .octave = e.octave,
                         .written = written,
                         .at = e.at,
                         .token_length = e.token_length});
      break;
    case Kind::kRest:
      t.rests.push_back({.voice = voice,
                         .measure = measure,
                         .start = tick,
                         .length = length,
                         .whole_measure = e.whole_measure,
                         .written = e.whole_measure ? WrittenValue{} : written,
                         .at = e.at,
                         .token_length = e.token_length});
      break;
    case Kind::kTempo:
      if (!t.voices.empty()) {
        t.voices.back().tempos.push_back(
            {.tick = tick, .tempo = static_cast<int>(e.value), .measure = measure, .at = e.at});
      }
      break;
    case Kind::kMeasureLength:
      t.changes.push_back({.voice = voice,
                           .tick = tick,
                           .measure = measure,
                           .kind = TimedChange::Kind::kMeasureLength,
                           .value = e.value,
                           .at = e.at});
      break;
  }
  if (e.kind == Kind::kNote || e.kind == Kind::kRest) {
    filled_ = std::max<std::int64_t>(filled_, e.start + e.length);
  }
}

void KeepEvents::voice_started(long long voice, std::string_view title, int pan) {
  if (timeline_ == nullptr) return;
  finish();
  timeline_->voices.push_back({.voice = voice,
                               .title = std::string(title),
                               .pan = pan,
                               .patch = "flute",
                               .program = kFluteProgram,
                               .end = 0,
                               .tempos = {}});
  measure_start_ = 0;
  filled_ = 0;
}

void KeepEvents::measure_closed(long long voice, int measure, MeasureKind kind, int copied_from) {
  if (timeline_ == nullptr) return;
  static constexpr TimedMeasure::Kind kinds[] = {
      TimedMeasure::Kind::kWritten, TimedMeasure::Kind::kWholeRest, TimedMeasure::Kind::kCopy};
  const std::int64_t length = kTicksPer192nd * filled_;
  timeline_->measures.push_back({.voice = voice,
                                 .number = measure,
                                 .start = measure_start_,
                                 .length = length,
                                 .kind = kinds[static_cast<int>(kind)],
                                 .copied_from = copied_from});
  measure_start_ += length;
  filled_ = 0;
  if (!timeline_->voices.empty()) timeline_->voices.back().end = measure_start_;
}

void KeepEvents::changed(long long voice, int measure, long long start, Change change,
                         long long value, const Position& at) {
  if (timeline_ == nullptr) return;
  timeline_->changes.push_back(
      {.voice = voice,
       .tick = measure_start_ + kTicksPer192nd * start,
       .measure = measure,
       .kind = change == Change::kClef ? TimedChange::Kind::kClef : TimedChange::Kind::kKey,
       .value = value,
       .at = at});
}

void KeepEvents::finish() {
  if (timeline_ == nullptr || timeline_->voices.empty()) return;
  TimedVoice& v = timeline_->voices.back();
  v.end = std::max(v.end, measure_start_ + kTicksPer192nd * filled_);
}

}  // namespace pn2tavix::detail
