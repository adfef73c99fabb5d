// Object streams (ISO 32000, PDF 1.5 on): a stream of /Type /ObjStm whose
// decoded data starts with /N pairs "number offset" and holds, from /First
// on, the values of those objects one after the other.
#pragma once

#include "lexer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brastel::pdf {

class ObjectStream {
public:
    // The stream's decoded data read by its dictionary; no value when it is
    // no object stream or its pairs do not fit the data.
    static std::optional<ObjectStream> Parse(const Dict& dict, std::string decoded);

    std::size_t size() const { return pairs_.size(); }
    std::size_t bytes() const { return data_->size(); }

    // The text of the object at index, from its offset to the next object's,
    // when the pair there names object num; a view into data() that lives as
    // long as the data does.
    std::optional<std::string_view> At(std::size_t index, std::int64_t num) const;
    const std::shared_ptr<const std::string>& data() const { return data_; }

    // Visits every object as (number, text) in stream order.
    template <typename F>
    void ForEach(F&& visit) const {
        for (std::size_t i = 0; i < pairs_.size(); ++i) visit(pairs_[i].number, Text(i));
    }

private:
    std::string_view Text(std::size_t index) const;

    struct Pair {
        std::int64_t number;
        std::size_t offset;  // from the start of the data
    };
    std::shared_ptr<const std::string> data_;
    std::vector<Pair> pairs_;
};

}  // namespace brastel::pdf
