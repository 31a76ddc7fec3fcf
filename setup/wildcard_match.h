// Whole-name wildcard match for the registry class's enumerations.
#pragma once
#include <string_view>

// True when the whole of `name` matches `pattern`. Characters are compared by
// code exactly (case-sensitive); both texts are UTF-8 and a character is one code
// point (a byte that starts no valid sequence counts as one character).
//   *        any run of characters, the empty run included
//   ?        any one character
//   #        one decimal digit 0-9
//   [list]   one character from the list; a-z in a list is a range (inclusive,
//            a range written high-to-low matches nothing); a hyphen first or last
//            is itself; [!list] matches one character not in the list; [] matches
//            the empty run
//   other    itself; a [ with no closing ] is itself
bool WildcardMatch(std::string_view name, std::string_view pattern);
