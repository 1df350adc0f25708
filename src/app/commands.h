#pragma once
// What the main window's commands do to the controls, free of Qt so that it can be
// tested on the in-memory controls. The window wires its signals to these.

#include <optional>
#include <string>

#include "core/controls.h"
#include "core/message_box.h"
#include "core/shared_state.h"

namespace velmora {

class PttKeyer;

// "Text to send" changed: takes the column duration from its field, clears the message
// power field, shows the text length and the text's total time.
void handleTextEdit(Controls& controls, SharedState& shared);
// "Duration per pixel column" changed: takes the column duration, shows the total time.
void handleDurationEdit(Controls& controls, SharedState& shared);

// The four range checks of "Transmit", in order, stopping at the first failure (which
// shows its message).
bool transmitFieldsInRange(Controls& controls, MessageBox& box);
// The same checks; the field that failed (its message shown), or nullopt when all pass.
std::optional<ControlId> transmitRangeFailure(Controls& controls, MessageBox& box);

// A saved message as it is sent: every "{CALL}" replaced by the station's call.
std::string withStationCall(const std::string& message, const std::string& call);

// What every worker start does just before the thread is started: clear the stop flag
// and make the window busy.
void enterBusyState(Controls& controls, SharedState& shared);

// "Stop": unkey at once, ask the worker to stop, make the window idle.
void handleStop(Controls& controls, SharedState& shared, PttKeyer& ptt);

// The mode radio buttons were clicked.
void selectConcurrentMode(Controls& controls);
void selectSequentialMode(Controls& controls);

}  // namespace velmora
