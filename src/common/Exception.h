#pragma once
// The error base of Bilhetor. Every error the system raises is an exception of
// a named class (EPosPrinterException, ESerialError, EDbError, ...) derived
// from Exception, carrying the message that is shown to the operator or
// written to the log.
#include <exception>
#include <string>

namespace bilhetor {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares a named error class that behaves like Exception:
//   BILHETOR_DECLARE_ERROR(EPosImage);
#define BILHETOR_DECLARE_ERROR(Name)                   \
  class Name : public ::bilhetor::Exception {          \
   public:                                             \
    using ::bilhetor::Exception::Exception;            \
  }

// A silent abort: an error a handler chose not to show, caught without a message.
BILHETOR_DECLARE_ERROR(EAbort);

}  // namespace bilhetor
