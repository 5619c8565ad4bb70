// The conversion: the header, the loop over voices and their tokens, every statement, and the
// checks of measure numbers and measure contents. It chooses the exit status, and it completes
// every failure with the voice, the measure and the place in the input before it reports it.
// Knows nothing of streams, files or how a message is shown.
#pragma once

#include <string_view>
#include <vector>

#include "driver/sink.h"
#include "input/byte_source.h"
#include "pn2tavix/message.h"

namespace pn2tavix::detail {

/// Where a conversion's messages go, each as it happens: a warning while the conversion goes
/// on, an error last; and each voice's title, as it is read.
class MessageHandler {
 public:
  virtual void report(Message message) = 0;
  virtual void title(Title /*title*/) {}

 protected:
  ~MessageHandler() = default;
};

/// Where a conversion's events go, for a caller that draws or plays the piece. Each in the
/// order of the output.
class EventHandler {
 public:
  enum class MeasureKind { kWritten, kWholeRest, kCopy };
  enum class Change { kClef, kKey };

  /// Something written in measure `measure` of voice `voice`; for a measure written by "copy",
  /// each event of the measure copied, again, in its order.
  virtual void measure_event(long long voice, int measure, const MeasureEvent& e) = 0;
  /// A voice begins, with the title that started it and the "$pan" it writes.
  virtual void voice_started(long long /*voice*/, std::string_view /*title*/, int /*pan*/) {}
  /// Measure `measure` of `voice` is closed: by a bar line, by "rest", or as a copy of
  /// measure `copied_from`.
  virtual void measure_closed(long long /*voice*/, int /*measure*/, MeasureKind /*kind*/,
                              int /*copied_from*/) {}
  /// A clef (0 treble, 1 alto, 2 tenor, 3 bass) or key signature (sharps above 0, flats below)
  /// set `start` 192nds into measure `measure`.
  virtual void changed(long long /*voice*/, int /*measure*/, long long /*start*/, Change /*change*/,
                       long long /*value*/, const Position& /*at*/) {}

 protected:
  ~EventHandler() = default;
};

/// Converts everything `source` holds into `sink` and gives the exit status. What was written
/// before an error is in the sink's output when this returns. Without `lines`, the places of
/// the messages hold their offset alone. With `events`, the events are made and given to it;
/// without, none is made.
int convert_source(ByteSource& source, Sink& sink, MessageHandler& messages, bool lines,
                   EventHandler* events = nullptr);

}  // namespace pn2tavix::detail
