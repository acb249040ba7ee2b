#pragma once
// Exceptions shared by the whole core. Failures carry a message for the user;
// EAbort is the silent cancellation signal and is never shown.
#include <stdexcept>
#include <string>

class EVeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class EInternalError : public EVeError {
public:
  EInternalError() : EVeError("Internal error") {}
};

class ETooManyColors : public EVeError {
public:
  ETooManyColors() : EVeError("Too many colors") {}
};

class EAbort : public std::exception {
public:
  const char* what() const noexcept override { return ""; }
};

[[noreturn]] inline void VeInternalError() {
  throw EInternalError();
}
[[noreturn]] inline void VeAbort() {
  throw EAbort();
}
