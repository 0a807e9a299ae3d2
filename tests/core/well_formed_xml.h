// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A small, strict XML well-formedness check for test and fuzz code: what a
// conforming parser would refuse (bad characters, bad references, unbalanced
// or crossed tags, stray "<" or "&") is reported with its byte offset. It
// also hands back the decoded text of chosen elements, so a test can look at
// every <loc> a writer produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur::test {

class XmlChecker {
public:
    // Empty when `xml` is a well-formed document; the first fault otherwise.
    std::string check(std::string_view xml)
    {
        m_text = xml;
        m_pos = 0;
        m_error.clear();
        m_collected.clear();
        m_stack.clear();
        document();
        return m_error;
    }

    // Decoded text of every element with this name, in document order
    // (filled by check()).
    void collect(std::string name) { m_wanted = std::move(name); }
    const std::vector<std::string>& collected() const { return m_collected; }

private:
    static bool IsXmlChar(std::uint32_t c)
    {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
            || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    }
    static bool IsNameStart(std::uint32_t c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0xC0;
    }
    static bool IsNameChar(std::uint32_t c)
    {
        return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
    }
    static bool IsSpace(std::uint32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    bool failed() const { return !m_error.empty(); }
    void fail(const std::string& what)
    {
        if (m_error.empty())
            m_error = what + " at byte " + std::to_string(m_pos);
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    bool startsWith(std::string_view s) const { return m_text.substr(m_pos, s.size()) == s; }

    // Decodes one character strictly (UTF-8, no overlongs, no surrogates)
    // and checks that XML allows it. 0 and an error on failure.
    std::uint32_t peekChar(std::size_t& length)
    {
        const auto b = static_cast<unsigned char>(m_text[m_pos]);
        std::uint32_t value = 0;
        std::uint32_t minimum = 0;
        if (b < 0x80) {
            length = 1;
            value = b;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2; value = b & 0x1F; minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3; value = b & 0x0F; minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4; value = b & 0x07; minimum = 0x10000;
        } else {
            fail("invalid UTF-8 lead byte");
            return 0;
        }
        if (m_pos + length > m_text.size()) {
            fail("truncated UTF-8 sequence");
            return 0;
        }
        for (std::size_t i = 1; i < length; ++i) {
            const auto n = static_cast<unsigned char>(m_text[m_pos + i]);
            if ((n & 0xC0) != 0x80) {
                fail("invalid UTF-8 continuation");
                return 0;
            }
            value = (value << 6) | (n & 0x3F);
        }
        if (value < minimum || (value >= 0xD800 && value <= 0xDFFF)) {
            fail("overlong or surrogate UTF-8 sequence");
            return 0;
        }
        if (!IsXmlChar(value)) {
            fail("character not allowed in XML");
            return 0;
        }
        return value;
    }
    std::uint32_t takeChar()
    {
        std::size_t length = 0;
        const std::uint32_t c = peekChar(length);
        if (!failed())
            m_pos += length;
        return c;
    }

    void skipSpace()
    {
        while (!atEnd() && IsSpace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }

    std::string name()
    {
        const std::size_t start = m_pos;
        if (atEnd()) {
            fail("name expected");
            return {};
        }
        std::size_t length = 0;
        std::uint32_t c = peekChar(length);
        if (failed() || !IsNameStart(c)) {
            fail("name expected");
            return {};
        }
        m_pos += length;
        while (!atEnd()) {
            c = peekChar(length);
            if (failed())
                return {};
            if (!IsNameChar(c))
                break;
            m_pos += length;
        }
        return std::string(m_text.substr(start, m_pos - start));
    }

    // At "&": a predefined entity or a character reference to an allowed
    // character; appends what it stands for.
    void reference(std::string& out)
    {
        static constexpr std::pair<std::string_view, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
        for (const auto& [entity, c] : kEntities) {
            if (startsWith(entity)) {
                m_pos += entity.size();
                out += c;
                return;
            }
        }
        if (!startsWith("&#")) {
            fail("bare & or unknown entity");
            return;
        }
        m_pos += 2;
        const bool hex = !atEnd() && m_text[m_pos] == 'x';
        if (hex)
            ++m_pos;
        std::uint64_t value = 0;
        std::size_t digits = 0;
        while (!atEnd() && m_text[m_pos] != ';') {
            const char c = m_text[m_pos];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0) {
                fail("bad character reference");
                return;
            }
            value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
            if (value > 0x10FFFF) {
                fail("character reference out of range");
                return;
            }
            ++digits;
            ++m_pos;
        }
        if (atEnd() || digits == 0) {
            fail("unterminated character reference");
            return;
        }
        ++m_pos;
        if (!IsXmlChar(static_cast<std::uint32_t>(value))) {
            fail("character reference to a character XML does not allow");
            return;
        }
        AppendUtf8(out, static_cast<std::uint32_t>(value));
    }

    static void AppendUtf8(std::string& out, std::uint32_t c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // Up to and over `end`, every character checked.
    void skipPast(std::string_view end, const char* what)
    {
        while (!failed()) {
            if (atEnd()) {
                fail(std::string("unterminated ") + what);
                return;
            }
            if (startsWith(end)) {
                m_pos += end.size();
                return;
            }
            takeChar();
        }
    }

    void misc()
    {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                m_pos += 4;
                comment();
            } else if (startsWith("<?")) {
                m_pos += 2;
                skipPast("?>", "processing instruction");
            } else {
                return;
            }
            if (failed())
                return;
        }
    }

    void comment()
    {
        while (!failed()) {
            if (atEnd()) {
                fail("unterminated comment");
                return;
            }
            if (startsWith("--")) {
                if (!startsWith("-->"))
                    fail("-- inside a comment");
                else
                    m_pos += 3;
                return;
            }
            takeChar();
        }
    }

    void document()
    {
        if (startsWith("<?xml")) {
            m_pos += 5;
            skipPast("?>", "XML declaration");
        }
        misc();
        if (failed())
            return;
        if (!startsWith("<")) {
            fail("root element expected");
            return;
        }
        element();
        if (failed())
            return;
        misc();
        if (!failed() && !atEnd())
            fail("content after the root element");
    }

    // The root element. Nesting is tracked on a stack of names, not by
    // recursion, so deeply nested hostile input cannot exhaust the stack.
    void element()
    {
        ++m_pos;  // "<"
        startTag();
        if (!failed() && !m_stack.empty())
            content();
    }

    // After "<": the name, attributes, ">" or "/>".
    void startTag()
    {
        const std::string tag = name();
        if (failed())
            return;
        std::set<std::string> attributes;
        for (;;) {
            const std::size_t before = m_pos;
            skipSpace();
            if (atEnd()) {
                fail("unterminated start tag");
                return;
            }
            if (startsWith("/>")) {
                m_pos += 2;
                return;
            }
            if (startsWith(">")) {
                ++m_pos;
                m_stack.push_back(tag);
                m_collecting = tag == m_wanted;
                m_current.clear();
                return;
            }
            if (m_pos == before) {
                fail("space expected before an attribute");
                return;
            }
            const std::string attribute = name();
            if (failed())
                return;
            if (!attributes.insert(attribute).second) {
                fail("attribute repeated");
                return;
            }
            skipSpace();
            if (!startsWith("=")) {
                fail("= expected");
                return;
            }
            ++m_pos;
            skipSpace();
            if (atEnd() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
                fail("quoted attribute value expected");
                return;
            }
            const char quote = m_text[m_pos++];
            std::string ignored;
            while (!failed()) {
                if (atEnd()) {
                    fail("unterminated attribute value");
                    return;
                }
                const char c = m_text[m_pos];
                if (c == quote) {
                    ++m_pos;
                    break;
                }
                if (c == '<') {
                    fail("< inside an attribute value");
                    return;
                }
                if (c == '&')
                    reference(ignored);
                else
                    takeChar();
            }
            if (failed())
                return;
        }
    }

    // Character data, references, comments, child start tags and end tags
    // until the stack empties.
    void content()
    {
        while (!failed() && !m_stack.empty()) {
            if (atEnd()) {
                fail("unclosed element <" + m_stack.back() + ">");
                return;
            }
            if (startsWith("</")) {
                m_pos += 2;
                const std::string tag = name();
                if (failed())
                    return;
                skipSpace();
                if (!startsWith(">")) {
                    fail("> expected in an end tag");
                    return;
                }
                ++m_pos;
                if (tag != m_stack.back()) {
                    fail("end tag </" + tag + "> does not match <" + m_stack.back() + ">");
                    return;
                }
                if (m_collecting && tag == m_wanted)
                    m_collected.push_back(m_current);
                m_collecting = false;
                m_stack.pop_back();
            } else if (startsWith("<!--")) {
                m_pos += 4;
                comment();
            } else if (startsWith("<![CDATA[")) {
                m_pos += 9;
                const std::size_t start = m_pos;
                skipPast("]]>", "CDATA section");
                if (m_collecting && !failed())
                    m_current.append(m_text.substr(start, m_pos - 3 - start));
            } else if (startsWith("<?")) {
                m_pos += 2;
                skipPast("?>", "processing instruction");
            } else if (startsWith("<")) {
                ++m_pos;
                startTag();
            } else if (startsWith("]]>")) {
                fail("]]> in character data");
            } else if (m_text[m_pos] == '&') {
                reference(m_current);
            } else {
                const std::size_t start = m_pos;
                takeChar();
                if (m_collecting && !failed())
                    m_current.append(m_text.substr(start, m_pos - start));
            }
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::string m_error;
    std::vector<std::string> m_stack;
    std::string m_wanted;
    bool m_collecting = false;
    std::string m_current;
    std::vector<std::string> m_collected;
};

// Empty when well-formed, the first fault otherwise.
inline std::string XmlFault(std::string_view xml)
{
    return XmlChecker().check(xml);
}

}  // namespace larkspur::test
