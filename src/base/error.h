#pragma once
// The program's failures. Every message is a Windows-1251 byte string, as shown to the operator.

#include <stdexcept>
#include <string>

namespace tandrel {

// Base of every failure the program raises itself. what() returns the Windows-1251 message.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that is not a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
  public:
    using Exception::Exception;
    static EConvertError NotAnInteger(const std::string& text);
};

}  // namespace tandrel
