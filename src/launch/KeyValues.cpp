#include "KeyValues.h"

namespace vantry::launch::vdf {

namespace {

enum class Token
{
    End,
    Open,
    Close,
    Text,
};

class Parser
{
public:
    explicit Parser(std::string_view text) : m_text(text)
    {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
            m_pos = 3;
    }

    Document run()
    {
        Document doc;
        if (m_text.size() > MaxInput) {
            doc.error = Error::TooLarge;
            doc.line = 1;
            return doc;
        }
        if (!pairs(doc.pairs, 0)) {
            doc.pairs.clear();
            doc.error = m_error;
            doc.line = m_line;
        }
        return doc;
    }

private:
    bool fail(Error error)
    {
        m_error = error;
        return false;
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n')
                    ++m_pos;
            } else {
                break;
            }
        }
    }

    // The next token; a text token's characters go to m_token.
    Token next()
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            return Token::End;
        const char c = m_text[m_pos];
        if (c == '{') {
            ++m_pos;
            return Token::Open;
        }
        if (c == '}') {
            ++m_pos;
            return Token::Close;
        }
        m_token.clear();
        if (c == '"')
            return quoted();
        while (m_pos < m_text.size()) {
            const char b = m_text[m_pos];
            if (b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\v' || b == '\f' || b == '"' ||
                b == '{' || b == '}')
                break;
            m_token.push_back(b);
            ++m_pos;
        }
        return Token::Text;
    }

    Token quoted()
    {
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return Token::Text;
            if (c == '\n')
                ++m_line;
            if (c == '\\' && m_pos < m_text.size()) {
                const char e = m_text[m_pos++];
                switch (e) {
                case 'n':
                    m_token.push_back('\n');
                    break;
                case 't':
                    m_token.push_back('\t');
                    break;
                case '\\':
                case '"':
                    m_token.push_back(e);
                    break;
                default:
                    // Not an escape Steam writes: both characters stand.
                    if (e == '\n')
                        ++m_line;
                    m_token.push_back('\\');
                    m_token.push_back(e);
                }
                continue;
            }
            m_token.push_back(c);
        }
        m_quoteUnclosed = true;
        return Token::End;
    }

    bool pairs(std::vector<Node>& out, int depth)
    {
        for (;;) {
            Token t = next();
            if (m_quoteUnclosed)
                return fail(Error::UnclosedQuote);
            if (t == Token::End)
                return depth == 0 || fail(Error::UnclosedBlock);
            if (t == Token::Close)
                return depth > 0 || fail(Error::UnexpectedBrace);
            if (t == Token::Open)
                return fail(Error::UnexpectedBrace);
            if (++m_count > MaxPairs)
                return fail(Error::TooManyPairs);
            Node node;
            node.key = std::move(m_token);
            t = next();
            if (m_quoteUnclosed)
                return fail(Error::UnclosedQuote);
            if (t == Token::End || t == Token::Close)
                return fail(Error::MissingValue);
            if (t == Token::Open) {
                if (depth + 1 > MaxDepth)
                    return fail(Error::TooDeep);
                node.isBlock = true;
                if (!pairs(node.children, depth + 1))
                    return false;
            } else {
                node.value = std::move(m_token);
            }
            out.push_back(std::move(node));
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    std::size_t m_count = 0;
    std::string m_token;
    bool m_quoteUnclosed = false;
    Error m_error = Error::None;
};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

Document parse(std::string_view text)
{
    return Parser(text).run();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

const Node* find(const std::vector<Node>& pairs, std::string_view key)
{
    for (const Node& n : pairs)
        if (equalsIgnoringCase(n.key, key))
            return &n;
    return nullptr;
}

const char* describe(Error error)
{
    switch (error) {
    case Error::None:
        return "no error";
    case Error::TooLarge:
        return "the file is too large";
    case Error::TooDeep:
        return "blocks are nested too deeply";
    case Error::TooManyPairs:
        return "it holds too many entries";
    case Error::UnclosedQuote:
        return "a quoted text is not closed";
    case Error::UnexpectedBrace:
        return "a brace stands where a name belongs";
    case Error::MissingValue:
        return "a name has no value";
    case Error::UnclosedBlock:
        return "a block is not closed";
    }
    return "unknown error";
}

} // namespace vantry::launch::vdf
