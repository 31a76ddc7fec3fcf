// The subject phrases the recogniser knows, by the responders that write them.
// Subjects are compared after RFC 2047 decoding, as UTF-8, ASCII letter case aside.
#pragma once
#include <span>
#include <string_view>

namespace platform::smtp {

struct Phrase {
    std::string_view language;  // ISO 639-1
    std::string_view text;
};

// Prefixes an automatic out-of-office reply puts before the original subject.
std::span<const Phrase> OutOfOfficePrefixes();
// "<name> is out of the office": the subject Domino/Notes-style responders write.
std::span<const Phrase> AbsenceStatements();
// Prefixes of calendar replies and notices (iMIP, RFC 6047).
std::span<const Phrase> CalendarPrefixes();
// Prefixes of read receipts written as plain messages.
std::span<const Phrase> ReadReceiptPrefixes();
// Beginnings of bounce subjects written by mail transfer agents.
std::span<const Phrase> BounceSubjects();

// True when `subject` starts with one of `prefixes` followed by optional spaces and a
// colon (":", or the full-width one East Asian locales use); "Re:" prefixes do not count.
bool StartsWithLabel(std::string_view subject, std::span<const Phrase> prefixes, const Phrase** found = nullptr);
// True when `subject` starts with one of `phrases`, letter case aside.
bool StartsWithPhrase(std::string_view subject, std::span<const Phrase> phrases);

// Where an absence statement follows a name at the start of `subject`: the statement
// found, and whether the subject ends with it (bar a final "." or a bracketed or
// "until ..." date), as the responders' own template does.
struct AbsenceMatch {
    bool found = false;
    bool wholeSubject = false;
};
AbsenceMatch FindAbsenceStatement(std::string_view subject);

}  // namespace platform::smtp
