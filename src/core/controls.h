#pragma once
// The main window's controls as the rest of the program sees them: addressed by id,
// read and written one access at a time. The Qt window implements this on real widgets
// (a worker's access becomes a blocking call into the GUI thread); tests use an
// in-memory model.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The ids are the main window's historic control ids, kept so that logs and notes
// can name controls unambiguously.
enum class ControlId : int {
  OutputDevice = 1001,    // drop-down list "Output sound device"
  Stop = 1003,            // button "Stop"
  Transmit = 1004,        // button "Transmit"
  TextToSend = 1005,      // edit "Text to send"
  CenterFrequency = 1006, // numeric edit "Audio center frequency" (Hz)
  Duration = 1007,        // numeric edit "Duration per pixel column" (ms)
  SentText = 1008,        // status: sent text field
  PixelOffset = 1009,     // numeric edit "Pixel row offset" (Hz)
  TimeRemaining = 1010,   // status: time remaining field
  Loop = 1011,            // check box "Loop"
  Interval = 1012,        // numeric edit "Interval" (sec)
  PixelCount = 1013,      // status: pixel count field
  AveragePower = 1014,    // status: average power field
  PeakPower = 1015,       // status: peak power field
  Tune = 1016,            // button "Tune"
  SinglePixel = 1017,     // radio "Single pixel"
  FullScale = 1018,       // radio "Full scale"
  MessagePower = 1019,    // status: message power field
  Concurrent = 1020,      // radio "Concurrent multitone (C/MT)"
  Sequential = 1021,      // radio "Sequential multitone (S/MT)"
  SkipDark = 1022,        // check box "Skip dark pixels"
  TextLength = 1023,      // status: text length field
  PilotTone = 1024,       // check box "Pilot tone"
  Reverse = 1025,         // check box "Reverse"
  MaxAvgPower = 1026,     // check box "Maximize average power"
};

class Controls {
 public:
  virtual ~Controls() = default;

  // Check boxes and radio buttons. Checking a radio button unchecks the others of its
  // group (C/MT and S/MT; "Single pixel" and "Full scale").
  virtual bool isChecked(ControlId id) = 0;
  virtual void setChecked(ControlId id, bool checked) = 0;

  virtual bool isEnabled(ControlId id) = 0;
  virtual void setEnabled(ControlId id, bool enabled) = 0;

  // Texts are UTF-8. Setting the text of "Text to send" or "Duration per pixel column"
  // counts as an edit: the window's change handling runs, as for a user's typing.
  virtual std::string text(ControlId id) = 0;
  virtual void setText(ControlId id, const std::string& utf8) = 0;
  // Selects the whole content of an edit field.
  virtual void selectAllText(ControlId id) = 0;

  // The drop-down list ("Output sound device"). An index of -1 means no selection.
  virtual std::vector<std::string> listItems(ControlId id) = 0;
  virtual void setListItems(ControlId id, const std::vector<std::string>& items) = 0;
  virtual int currentIndex(ControlId id) = 0;
  virtual void setCurrentIndex(ControlId id, int index) = 0;
};

// The longest text the program sends, in characters.
inline constexpr std::size_t kMaxTextChars = 1023;

// A numeric field as an unsigned integer: leading blanks are skipped, then the whole
// rest must be decimal digits that fit 32 bits; anything else (an empty field too)
// reads as 0.
std::uint32_t readUnsigned(Controls& controls, ControlId id);
// The number as decimal text; "Clearing" a status field writes 0 this way.
void writeUnsigned(Controls& controls, ControlId id, std::uint32_t value);
// A text cut to at most maxChars characters (UTF-8 code points).
std::string readText(Controls& controls, ControlId id, std::size_t maxChars);

// The first maxChars characters of a UTF-8 string, and their number, counted as the text
// codec counts them (core/utf8.h): a broken sequence is one character, as it is sent.
std::string firstCodePoints(const std::string& utf8, std::size_t maxChars);
std::size_t codePointCount(const std::string& utf8);

}  // namespace velmora
