#include "DocumentParser.h"

#include <cstring>

namespace quorvane
{

namespace
{
/** A cursor over the UTF-8 bytes of the document; every read is bounds-checked. */
class Reader
{
public:
    explicit Reader (const juce::String& text) : data (text.toRawUTF8()), size (text.getNumBytesAsUTF8()) {}

    bool atEnd() const { return pos >= size; }
    char peek (size_t ahead = 0) const { return pos + ahead < size ? data[pos + ahead] : '\0'; }
    bool startsWith (const char* s) const
    {
        for (size_t i = 0; s[i] != 0; ++i)
            if (peek (i) != s[i])
                return false;
        return true;
    }
    bool skip (const char* s)
    {
        if (! startsWith (s))
            return false;
        pos += std::strlen (s);
        return true;
    }
    /** Skips up to and including the terminator; false when it never comes. */
    bool skipPast (const char* terminator)
    {
        while (! atEnd())
        {
            if (skip (terminator))
                return true;
            ++pos;
        }
        return false;
    }
    void skipSpace()
    {
        while (! atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n'))
            ++pos;
    }
    /** White space and comments; false on an unterminated comment. */
    bool skipMisc()
    {
        for (;;)
        {
            skipSpace();
            if (! skip ("<!--"))
                return true;
            if (! skipPast ("-->"))
                return false;
        }
    }
    juce::String name()
    {
        const size_t start = pos;
        auto isNameChar = [] (char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
                   || c == '.' || c == ':' || (unsigned char) c >= 0x80;
        };
        if (atEnd() || (peek() >= '0' && peek() <= '9') || peek() == '-' || peek() == '.')
            return {};
        while (! atEnd() && isNameChar (peek()))
            ++pos;
        return juce::String::fromUTF8 (data + start, (int) (pos - start));
    }
    /** A quoted attribute value with its entities decoded; false when malformed. */
    bool quotedValue (juce::String& value)
    {
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            return false;
        ++pos;
        juce::MemoryOutputStream out;
        while (! atEnd() && peek() != quote)
        {
            if (peek() == '<')
                return false;
            if (peek() == '&')
            {
                if (! entity (out))
                    return false;
                continue;
            }
            out.writeByte (data[pos++]);
        }
        if (atEnd())
            return false;
        ++pos;
        value = out.toUTF8();
        return true;
    }

private:
    bool entity (juce::MemoryOutputStream& out)
    {
        static const char* const names[][2] = { { "&lt;", "<" }, { "&gt;", ">" }, { "&amp;", "&" },
                                                 { "&quot;", "\"" }, { "&apos;", "'" } };
        for (const auto& e : names)
            if (skip (e[0]))
            {
                out << e[1];
                return true;
            }
        if (! skip ("&#"))
            return false;
        const bool hex = skip ("x");
        juce::juce_wchar code = 0;
        int digits = 0;
        for (; ! atEnd() && peek() != ';' && digits < 8; ++digits)
        {
            const int d = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) peek());
            if (d < 0 || (! hex && d > 9))
                return false;
            code = code * (hex ? 16u : 10u) + (juce::juce_wchar) d;
            ++pos;
        }
        if (digits == 0 || ! skip (";") || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        out << juce::String::charToString (code);
        return true;
    }

    const char* data;
    size_t size;
    size_t pos = 0;
};
} // namespace

std::unique_ptr<juce::XmlElement> parseSingleElement (const juce::String& text)
{
    Reader in (text);
    in.skipSpace();
    if (in.skip ("<?xml") && ! in.skipPast ("?>"))
        return nullptr;
    if (! in.skipMisc() || ! in.skip ("<"))
        return nullptr;

    const auto tag = in.name();
    if (tag.isEmpty())
        return nullptr;
    auto element = std::make_unique<juce::XmlElement> (tag);

    for (;;)
    {
        const bool spaced = in.peek() == ' ' || in.peek() == '\t' || in.peek() == '\r' || in.peek() == '\n';
        in.skipSpace();
        if (in.skip ("/>"))
            break;
        if (in.skip (">"))
        {
            // Only white space and comments may stand between the start and the end tag.
            if (! in.skipMisc() || ! in.skip ("</") || in.name() != tag)
                return nullptr;
            in.skipSpace();
            if (! in.skip (">"))
                return nullptr;
            break;
        }
        const auto attribute = in.name();
        juce::String value;
        if (! spaced || attribute.isEmpty() || element->hasAttribute (attribute))
            return nullptr;
        in.skipSpace();
        if (! in.skip ("="))
            return nullptr;
        in.skipSpace();
        if (! in.quotedValue (value))
            return nullptr;
        element->setAttribute (attribute, value);
    }

    if (! in.skipMisc() || ! in.atEnd())
        return nullptr;
    return element;
}

} // namespace quorvane
