// What every line x9host writes shares: a system call's failure told in the system's own words,
// one line whatever the names in it hold, and a line the module left pending on the console
// ended before another is written.
#pragma once

#include <string>
#include <string_view>

namespace x9host::os {

// The C library's text for an errno value ("Too many open files"): what a line says when a
// system call failed, never a guess at why.
std::string ErrorText(int error);

// text as one line: every control character (C0, DEL, and C1 written as UTF-8) is shown escaped
// — "\n", "\r", "\t", else "\x1b" (C1 as "\u009b") — and so is every byte that is not part of
// well-formed UTF-8 ("\xff": a name in another encoding), so that a name can neither break a
// message into several lines nor drive the terminal. A backslash is left as it is (Windows paths
// are full of them): escaping twice changes nothing.
std::string OneLine(std::string_view text);

// Whether the last byte written to standard error for the module's terminal left a line open
// (the question's "(y/N) ", a progress bar drawn in place). Async-signal-safe.
void NoteLinePending(bool pending);
bool LinePending();
// Ends that line ("\n" on standard error) when one is open, so that the next line, the last
// above all, starts on a line of its own. Async-signal-safe: a signal handler calls it too.
void EndPendingLine();

}  // namespace x9host::os
