#include "objectstream.h"

namespace brastel::pdf {

std::optional<ObjectStream> ObjectStream::Parse(const Dict& dict, std::string decoded) {
    const Value type = dict.Get("/Type");
    if (!type.Is(Value::Kind::Name) || !NameEquals(type.text, "/ObjStm")) return std::nullopt;
    const auto n = dict.Get("/N").Whole();
    const auto first = dict.Get("/First").Whole();
    // Each pair takes at least four bytes ("1 0 "), which bounds /N by the data.
    if (!n || !first || *n < 0 || *first < 0 || *first > static_cast<std::int64_t>(decoded.size()) ||
        *n > *first / 2 + 1)
        return std::nullopt;
    ObjectStream s;
    const std::string_view head(decoded.data(), static_cast<std::size_t>(*first));
    Lexer lex(head);
    s.pairs_.reserve(static_cast<std::size_t>(*n));
    for (std::int64_t i = 0; i < *n; ++i) {
        const Token number = lex.Next();
        const Token offset = lex.Next();
        if (number.kind != Token::Kind::Integer || offset.kind != Token::Kind::Integer || number.integer < 0 ||
            offset.integer < 0 || offset.integer > static_cast<std::int64_t>(decoded.size()) - *first)
            return std::nullopt;
        s.pairs_.push_back(Pair{number.integer, static_cast<std::size_t>(*first + offset.integer)});
    }
    s.data_ = std::make_shared<const std::string>(std::move(decoded));
    return s;
}

std::string_view ObjectStream::Text(std::size_t index) const {
    // Offsets rise through the stream; an object ends where the next begins.
    const std::size_t from = pairs_[index].offset;
    std::size_t to = data_->size();
    if (index + 1 < pairs_.size() && pairs_[index + 1].offset > from) to = pairs_[index + 1].offset;
    return std::string_view(*data_).substr(from, to - from);
}

std::optional<std::string_view> ObjectStream::At(std::size_t index, std::int64_t num) const {
    if (index >= pairs_.size() || pairs_[index].number != num) return std::nullopt;
    return Text(index);
}

}  // namespace brastel::pdf
