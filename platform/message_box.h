// The one dialog of the program: a modal message with no owner, no caption of its own and a
// single OK button. Returns when the user has dismissed it.
#pragma once

void ShowMessageBox(const char* text);
