// A message box, and a console program's message, that record their texts instead of showing
// them; linked in place of the platform's, so that no test waits for a user.
#pragma once

#include <string>
#include <vector>

namespace recording_message_box {

extern std::vector<std::string> Texts;

}  // namespace recording_message_box
