#include "AppKit/NibParser.h"

#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace platform {

std::string NibError::text() const {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
}

std::string NibObject::label() const {
    if (!name.empty()) return name;
    return className + " (line " + std::to_string(line) + ")";
}

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Thrown inside the parser only; becomes the result's error.
struct SyntaxError {
    std::string message;
};

// Reads the tokens of one line, left to right.
class LineReader {
public:
    explicit LineReader(std::string_view line) : text_(line) {}

    void skipSpace() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    // True at the end of the line or at a comment.
    bool atEnd() {
        skipSpace();
        return at_ >= text_.size() || text_[at_] == '#';
    }
    bool take(std::string_view word) {
        skipSpace();
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool peek(std::string_view word) {
        skipSpace();
        return text_.substr(at_, word.size()) == word;
    }
    bool peekName() {
        skipSpace();
        return peek(kNibOwnerName) || (at_ < text_.size() && isNameStart(text_[at_]));
    }

    // An identifier; with `ownerAllowed`, "File's Owner" too.
    std::string name(const char* what, bool ownerAllowed = false) {
        skipSpace();
        if (ownerAllowed && take(kNibOwnerName)) return std::string(kNibOwnerName);
        if (at_ >= text_.size() || !isNameStart(text_[at_])) throw SyntaxError{std::string("expected ") + what};
        const std::size_t start = at_;
        while (at_ < text_.size() && isNameChar(text_[at_])) ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    std::string selector() {
        skipSpace();
        if (at_ >= text_.size() || !isNameStart(text_[at_])) throw SyntaxError{"expected a selector"};
        const std::size_t start = at_;
        while (at_ < text_.size() && (isNameChar(text_[at_]) || text_[at_] == ':')) ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    void expect(std::string_view word) {
        if (!take(word)) throw SyntaxError{"expected \"" + std::string(word) + "\""};
    }

    void expectEnd() {
        if (!atEnd()) throw SyntaxError{"unexpected \"" + std::string(text_.substr(at_)) + "\" at the end of the line"};
    }

    // "text", a number, YES/NO/true/false or nil.
    Ref<Object> value() {
        skipSpace();
        if (at_ >= text_.size() || text_[at_] == '#') throw SyntaxError{"expected a value"};
        if (text_[at_] == '"') return quoted();
        const std::size_t start = at_;
        while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) && text_[at_] != '#') ++at_;
        const std::string word(text_.substr(start, at_ - start));
        if (word == "YES" || word == "true") return Number::numberWithBool(true);
        if (word == "NO" || word == "false") return Number::numberWithBool(false);
        if (word == "nil") return nullptr;
        if (Ref<Object> number = numberFrom(word)) return number;
        throw SyntaxError{"\"" + word + "\" is not a value (a quoted text, a number, YES, NO or nil)"};
    }

private:
    Ref<Object> quoted() {
        std::string out;
        ++at_;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\') {
                if (at_ >= text_.size()) break;
                const char escaped = text_[at_++];
                switch (escaped) {
                case 'n': c = '\n'; break;
                case 't': c = '\t'; break;
                case '"': case '\\': c = escaped; break;
                default: throw SyntaxError{std::string("unknown escape \"\\") + escaped + "\" in a text"};
                }
            }
            out += c;
        }
        if (at_ >= text_.size()) throw SyntaxError{"a text is not closed with \""};
        ++at_;
        if (!isValidUTF8(out)) throw SyntaxError{"a text is not valid UTF-8"};
        return make<String>(std::move(out));
    }

    static Ref<Object> numberFrom(const std::string& word) {
        const char* first = word.data();
        const char* last = word.data() + word.size();
        std::int64_t integer = 0;
        if (auto [end, error] = std::from_chars(first, last, integer); error == std::errc() && end == last) {
            return Number::numberWithInteger(integer);
        }
        if (word.find_first_not_of("+-0123456789.eE") != std::string::npos) return nullptr;
        char* end = nullptr;
        const double real = std::strtod(word.c_str(), &end);
        if (end != word.c_str() + word.size() || !std::isfinite(real)) return nullptr;
        return Number::numberWithDouble(real);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

class Parser {
public:
    explicit Parser(std::string_view file) : file_(file) {}

    NibParseResult parse(std::string_view text) {
        NibParseResult result;
        int lineNumber = 0;
        try {
            std::size_t start = 0;
            while (start <= text.size()) {
                const std::size_t end = std::min(text.find('\n', start), text.size());
                ++lineNumber;
                parseLine(text.substr(start, end - start), lineNumber);
                start = end + 1;
            }
        } catch (const SyntaxError& error) {
            result.error = NibError{file_, lineNumber, error.message};
            return result;
        }
        if (!open_.empty()) {
            std::string message = "\"";  // built in steps: GCC 12 warns falsely about "..." + std::string
            message += open_.back()->label();
            message += "\" is not closed with \"}\" before the end of the file";
            result.error = NibError{file_, open_.back()->line, std::move(message)};
            return result;
        }
        result.document = std::move(document_);
        return result;
    }

private:
    void parseLine(std::string_view text, int line) {
        if (text.find('\0') != std::string_view::npos) throw SyntaxError{"the line holds a NUL character"};
        LineReader reader(text);
        if (reader.atEnd()) return;
        if (reader.take("}")) {
            if (open_.empty()) throw SyntaxError{"\"}\" closes no object"};
            reader.expectEnd();
            open_.pop_back();
            return;
        }
        if (reader.peek(kNibOwnerName)) {
            parseOwnerHeader(reader, line);
            return;
        }
        const std::string first = reader.name("a class name, a key, \"bind\", \"action\" or \"}\"");
        if (reader.peek("=")) return statement(reader, line, first, NibStatement::Kind::Property);
        if (reader.peek("->")) return statement(reader, line, first, NibStatement::Kind::Outlet);
        if (first == "bind" && reader.peekName()) return statement(reader, line, first, NibStatement::Kind::Binding);
        if (first == "action" && reader.peekName()) return statement(reader, line, first, NibStatement::Kind::Action);
        parseObjectHeader(reader, line, first);
    }

    void parseOwnerHeader(LineReader& reader, int line) {
        reader.expect(kNibOwnerName);
        if (!open_.empty()) throw SyntaxError{"\"File's Owner\" is described at the top level only"};
        reader.expect("{");
        reader.expectEnd();
        NibObject owner;
        owner.line = line;
        owner.name = std::string(kNibOwnerName);
        document_.objects.push_back(std::move(owner));
        open_.push_back(&document_.objects.back());
    }

    void parseObjectHeader(LineReader& reader, int line, std::string className) {
        NibObject object;
        object.line = line;
        object.className = std::move(className);
        if (reader.peekName()) {
            if (reader.peek(kNibOwnerName)) throw SyntaxError{"\"File's Owner\" is not a name for a new object"};
            object.name = reader.name("a name");
        }
        const bool hasBody = reader.take("{");
        if (!reader.atEnd()) {
            throw SyntaxError{"expected \"Class [name] [{]\", \"key = value\", \"key -> object\", "
                              "\"bind binding -> object.key\" or \"action selector -> object\""};
        }
        std::vector<NibObject>& siblings = open_.empty() ? document_.objects : open_.back()->children;
        if (!open_.empty() && open_.back()->isOwner()) throw SyntaxError{"\"File's Owner\" holds no objects"};
        siblings.push_back(std::move(object));
        // Open objects are always the last of their siblings, so these
        // pointers stay valid until they are closed.
        if (hasBody) open_.push_back(&siblings.back());
    }

    void statement(LineReader& reader, int line, const std::string& first, NibStatement::Kind kind) {
        if (open_.empty()) throw SyntaxError{"\"" + first + "\" lies outside any object"};
        NibStatement entry{kind, line, first, nullptr, {}, {}, {}};
        switch (kind) {
        case NibStatement::Kind::Property:
            reader.expect("=");
            entry.value = reader.value();
            break;
        case NibStatement::Kind::Outlet:
            reader.expect("->");
            entry.objectName = reader.name("the name of an object", true);
            break;
        case NibStatement::Kind::Binding:
            entry.key = reader.name("a binding name");
            reader.expect("->");
            entry.objectName = reader.name("the name of an object", true);
            reader.expect(".");
            entry.objectKey = reader.name("a key");
            if (reader.take("(")) {
                entry.transformer = reader.name("the name of a value transformer");
                reader.expect(")");
            }
            break;
        case NibStatement::Kind::Action:
            entry.key = reader.selector();
            reader.expect("->");
            entry.objectName = reader.name("the name of the target", true);
            break;
        }
        reader.expectEnd();
        open_.back()->statements.push_back(std::move(entry));
    }

    std::string file_;
    NibDocument document_;
    std::vector<NibObject*> open_;
};

} // namespace

NibParseResult parseNib(std::string_view text, std::string_view file) { return Parser(file).parse(text); }

} // namespace platform
