// The timeline of a conversion, built from the events the conversion makes as it writes the
// tavix text: the same notes, rests, tempo and measure-length lines, and for a copied measure
// those of the measure copied, as the store replays them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "driver/driver.h"
#include "pn2tavix/message.h"
#include "pn2tavix/timeline.h"

namespace pn2tavix::detail {

/// Keeps what a caller asked for of the events: the notes for drawing (`notes`), the timeline
/// (`timeline`), either or both.
class KeepEvents final : public EventHandler {
 public:
  KeepEvents(std::vector<NoteEvent>* notes, Timeline* timeline)
      : notes_(notes), timeline_(timeline) {}

  void measure_event(long long voice, int measure, const MeasureEvent& e) override;
  void voice_started(long long voice, std::string_view title, int pan) override;
  void measure_closed(long long voice, int measure, MeasureKind kind, int copied_from) override;
  void changed(long long voice, int measure, long long start, Change change, long long value,
               const Position& at) override;
  /// Ends the last voice: music after its last bar line still sounds.
  void finish();

 private:
  std::vector<NoteEvent>* notes_;
  Timeline* timeline_;
  std::int64_t measure_start_ = 0;  // tick of the open measure in its voice
  std::int64_t filled_ = 0;         // 192nds that the open measure's notes and rests reach
};

}  // namespace pn2tavix::detail
