#pragma once
// The text of an error as the front ends show it (the window's error box, tarnwick-export's
// standard error).
#include <string>

namespace tarnwick {

// The message as shown: a "." is added when the message is not empty and its last character has
// a code greater than that of "." (a letter or a digit, not "!", ")" or a line break). Texts are
// UTF-8, and every character outside ASCII has a code above ".", so a message ending in a
// multi-byte character (a Cyrillic letter, say) gets the full stop too. The text is otherwise
// unchanged: a closing line break (the client's texts have one) stays, and so gets no full stop.
std::string ErrorDisplayText(const std::string& message);

}  // namespace tarnwick
