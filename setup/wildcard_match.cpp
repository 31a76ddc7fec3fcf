#include "wildcard_match.h"

#include <string>
#include <vector>

namespace {

// Next code point of a UTF-8 text; a byte that starts no valid sequence stands
// for itself.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const size_t extra = lead >= 0xF0 && lead <= 0xF4   ? 3
                         : lead >= 0xE0 && lead <= 0xEF ? 2
                         : lead >= 0xC2 && lead <= 0xDF ? 1
                                                        : 0;
    if (extra == 0 || i + extra >= text.size()) {
        ++i;
        return lead;
    }
    char32_t code = lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    i += extra + 1;
    return code;
}

std::u32string decode(std::string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) out.push_back(nextCodePoint(text, i));
    return out;
}

struct Token {
    enum Kind { Star, One, Digit, Set, Literal } kind = Literal;
    char32_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
};

bool matchesOne(const Token& token, char32_t c) {
    switch (token.kind) {
    case Token::One: return true;
    case Token::Digit: return c >= U'0' && c <= U'9';
    case Token::Literal: return c == token.literal;
    case Token::Set: {
        bool inList = false;
        for (auto [low, high] : token.ranges) inList = inList || (c >= low && c <= high);
        return inList != token.negated;
    }
    case Token::Star: break;
    }
    return false;
}

// Parses the list after a '['; returns false when no ']' closes it.
bool parseSet(const std::u32string& pattern, size_t& i, Token& token) {
    token.negated = i < pattern.size() && pattern[i] == U'!';
    size_t close = pattern.find(U']', token.negated ? i + 1 : i);
    if (close == std::u32string::npos) return false;
    if (token.negated) ++i;
    for (; i < close; ++i) {
        char32_t low = pattern[i];
        if (i + 2 < close && pattern[i + 1] == U'-') {
            token.ranges.emplace_back(low, pattern[i + 2]);
            i += 2;
        } else {
            token.ranges.emplace_back(low, low);
        }
    }
    i = close + 1;
    return true;
}

std::vector<Token> tokenize(const std::u32string& pattern) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < pattern.size();) {
        char32_t c = pattern[i++];
        Token token;
        token.literal = c;
        if (c == U'*') token.kind = Token::Star;
        if (c == U'?') token.kind = Token::One;
        if (c == U'#') token.kind = Token::Digit;
        if (c == U'[') {
            size_t at = i;
            Token set;
            set.kind = Token::Set;
            if (parseSet(pattern, at, set)) {
                i = at;
                // "[]" stands for the empty run: it consumes nothing.
                if (set.ranges.empty() && !set.negated) continue;
                token = set;
            }
        }
        tokens.push_back(token);
    }
    return tokens;
}

}  // namespace

bool WildcardMatch(std::string_view name, std::string_view pattern) {
    const std::u32string text = decode(name);
    const std::vector<Token> tokens = tokenize(decode(pattern));

    // Greedy walk; on a mismatch, let the last star take one more character.
    size_t t = 0, s = 0;
    size_t starToken = std::string::npos, starText = 0;
    while (s < text.size()) {
        if (t < tokens.size() && tokens[t].kind == Token::Star) {
            starToken = t++;
            starText = s;
        } else if (t < tokens.size() && matchesOne(tokens[t], text[s])) {
            ++t, ++s;
        } else if (starToken != std::string::npos) {
            t = starToken + 1;
            s = ++starText;
        } else {
            return false;
        }
    }
    while (t < tokens.size() && tokens[t].kind == Token::Star) ++t;
    return t == tokens.size();
}
