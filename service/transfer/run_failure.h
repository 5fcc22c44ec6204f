// Why a run, or its SMTP delivery, did not end as planned: the step and the
// reason in words, noted where the failure happens, and the one error event
// that reports them (at every DebugLevel).
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "service/transfer/reply_reader.h"

namespace ferry {

class RunContext;

// A socket error code in words with its number: "connection refused (error
// 10061)". Empty for 0.
std::string SocketErrorWords(int code);

// A failed connect to `server` (what the server is: "POP3 server", "SMTP
// server") at `host`, from the socket error code: "host pop.example does not
// resolve", "SMTP server 127.0.0.1 refused the connection", ...
std::string ConnectFailureText(std::string_view server, std::string_view host, int code);

// A reply that did not arrive whole after `step`, waited for `deadline`: "no
// reply within 600 s after end of data", "the server closed the connection
// after DATA", "reply too long after EHLO".
std::string ReplyFailureText(const Reply& reply, std::string_view step, std::chrono::milliseconds deadline,
                             int socketError);

// A server's reply as one line for an event: line ends as blanks, cut short.
std::string ReplyForEvent(std::string_view reply);

// Notes the step and reason of a failure; a later note replaces it.
void NoteFailure(RunContext& context, std::string step, std::string reason);
// Notes a failed connect from the thread's last socket error.
void NoteConnectFailure(RunContext& context, std::string_view server, std::string_view host);

// Writes the run's failure event (kEventRunFailed, an error) naming the
// connection, the account, and the noted step and reason, or `fallback` when
// nothing was noted; at most once per run. Clears the note.
void ReportRunFailure(RunContext& context, const std::string& fallback);

}  // namespace ferry
