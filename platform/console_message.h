// A message of a console program that a user must see, such as "JoyCon not found.".
#pragma once

// Standard error, with a line feed, where a user at a console (or a caller reading standard
// error) sees it. On Windows a program that is alone on a console window of its own, as when
// started from Explorer, shows it in the message box instead: that window closes with the
// program, and the text would go unread.
void ShowConsoleMessage(const char* text);
