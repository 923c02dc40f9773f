#pragma once

#include <exception>
#include <string>

namespace packsmith {

// The text of the application-level error box for a message: a "." is appended when the
// message is not empty and its last character sorts after ".".
std::string ErrorBoxText(const std::string& message);
// The message of whatever escaped a command: the text of our own errors, a plain word for
// the standard library's.
std::string MessageOf(const std::exception_ptr& error);

} // namespace packsmith
