// Errors the units raise for the framework's default handler to show, and the framework's
// text-to-integer conversion.
#pragma once
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string &Message) : std::runtime_error(Message) {}
};

class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// Leading blanks, an optional sign, then decimal digits or hexadecimal digits after "$", "x"
// or "0x"; nothing may follow, and the value must fit in 32 signed bits. Returns false
// otherwise.
bool TryStrToInt(const std::string &S, int &Value);
// As TryStrToInt, raising EConvertError with the framework's message on failure.
int StrToInt(const std::string &S);
