// The error codes of the mail transfer. A failure is raised as a TransferError
// carrying one of these codes and caught by the operation that owns the step
// (the protocol operations and the account run's one handler). The numbers are
// written to the debug log.
#pragma once

#include <cstdint>

namespace ferry {

enum TransferErrorCode : int32_t {
  kErrorRejected = 0,         // negative USER reply; SMTP reply not accepted
  kErrorMalformedHeader = 1,  // a header an address mode needs is missing or malformed
  kErrorNoConnection = 2,     // connect failed; sender mode 3 without "<" or blank
  kErrorNoMemory = 3,         // a ticker stage ran out of memory
  kErrorLogin = 4,            // negative PASS or STAT reply
  kErrorProtocol = 5,         // a reply or message did not arrive whole, or went past its bound
  kErrorNoAtSign = 8,         // sender mode 3 finds no at sign
  kErrorTls = 9,              // TLS refused, or not offered where the account requires it
  kErrorSmtpLogin = 10,       // the SMTP server refused the login, or offers no way to log in
  kErrorTextMemory = -1,      // no memory for a message text
};

struct TransferError {
  TransferErrorCode code;
};

[[noreturn]] inline void Raise(TransferErrorCode code) { throw TransferError{code}; }

}  // namespace ferry
