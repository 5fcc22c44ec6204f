// The error codes of the mail transfer. A failure is raised as a TransferError
// carrying one of these numbers and caught by the operation that owns the step
// (the protocol operations and the account run's one handler).
#pragma once

#include <cstdint>

namespace ferry {

inline constexpr int kErrorRejected = 0;         // negative USER reply; SMTP reply not accepted
inline constexpr int kErrorMalformedHeader = 1;  // a header an address mode needs is missing or malformed
inline constexpr int kErrorNoConnection = 2;     // connect failed; sender mode 3 without "<" or blank
inline constexpr int kErrorNoMemory = 3;         // a ticker stage ran out of memory
inline constexpr int kErrorLogin = 4;            // negative PASS or STAT reply
inline constexpr int kErrorProtocol = 5;         // a reply or message did not arrive whole, or went past its bound
inline constexpr int kErrorNoAtSign = 8;         // sender mode 3 finds no at sign
inline constexpr int kErrorTextMemory = -1;      // no memory for a message text
inline constexpr int kErrorNoText = -2;          // a message record was given no text

struct TransferError {
  int code;
};

[[noreturn]] inline void Raise(int code) { throw TransferError{code}; }

}  // namespace ferry
