// The table route: classic tables whose header lines and entries use other
// line ends than the position arithmetic expects, read by their tokens.
#include "testsupport.h"

#include <cstdio>
#include <map>
#include <vector>

namespace brastel::test {
namespace {

// A file written object by object with a table whose header lines end in
// headerEol and whose 20-byte entries end in the two bytes entryEol.
class TableFile {
public:
    TableFile(std::string headerEol, std::string entryEol)
        : headerEol_(std::move(headerEol)), entryEol_(std::move(entryEol)) {
        bytes_ = "%PDF-1.4" + headerEol_;
    }
    void Object(int num, const std::string& body) {
        offsets_[num] = bytes_.size();
        bytes_ += std::to_string(num) + " 0 obj" + headerEol_ + body + headerEol_ + "endobj" + headerEol_;
    }
    // One section listing the given objects (one subsection each, "f" for
    // a number mapped to 0); the trailer gets the extra entries.
    std::size_t Section(const std::vector<int>& objects, const std::string& trailerExtra) {
        const std::size_t at = bytes_.size();
        bytes_ += "xref" + headerEol_;
        for (int num : objects) {
            char entry[32];
            const auto off = offsets_.count(num) ? offsets_[num] : 0;
            std::snprintf(entry, sizeof entry, "%010zu %05d %c", off, num == 0 ? 65535 : 0,
                          offsets_.count(num) ? 'n' : 'f');
            bytes_ += std::to_string(num) + " 1" + headerEol_ + entry + entryEol_;
        }
        bytes_ += "trailer" + headerEol_ + "<< /Size 20" + trailerExtra + " >>" + headerEol_ + "startxref" +
                  headerEol_ + std::to_string(at) + headerEol_ + "%%EOF" + headerEol_;
        return at;
    }
    void Forget(int num) { offsets_.erase(num); }
    const std::string& str() const { return bytes_; }

private:
    std::string headerEol_, entryEol_, bytes_;
    std::map<int, std::size_t> offsets_;
};

void Pages(TableFile& f, int count, const std::string& countLayout = " >>") {
    f.Object(1, "<< /Type /Catalog /PageLabels << >> /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < count; ++i) {
        kids += std::to_string(3 + i) + " 0 R ";
        f.Object(3 + i, "<< /Type /Page /Parent 2 0 R >>");
    }
    f.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + countLayout);
}

std::vector<int> Numbers(int pages) {
    std::vector<int> all{0, 1, 2};
    for (int i = 0; i < pages; ++i) all.push_back(3 + i);
    return all;
}

class TableRouteTest : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes) { return counter.Count(dir.Write("doc.pdf", bytes)); }
    TempDir dir;
    Counter counter;
};

TEST_F(TableRouteTest, MixedLineEndsAreReadByTokens) {
    // LF header lines with CR LF entries, and LF with blank-LF entries: the
    // position arithmetic lands beside the entries, the tokens do not.
    // 19-byte entries (one-byte line ends) are read as such.
    for (const auto& [header, entry] : {std::pair{"\n", "\r\n"}, std::pair{"\n", " \n"}, std::pair{"\r", "\r\n"},
                                        std::pair{"\n", "\n"}}) {
        TableFile f(header, entry);
        Pages(f, 4);
        f.Section(Numbers(4), " /Root 1 0 R");
        EXPECT_EQ(Count(f.str()), 4);
        EXPECT_EQ(counter.LastRoute(), Route::Table);
    }
}

TEST_F(TableRouteTest, NewestSectionDecides) {
    TableFile f("\n", "\r\n");
    Pages(f, 2);
    const std::size_t first = f.Section(Numbers(2), " /Root 1 0 R");
    // An update adds a page and rewrites the tree's root.
    f.Object(5, "<< /Type /Page /Parent 2 0 R >>");
    f.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    f.Section({2, 5}, " /Root 1 0 R /Prev " + std::to_string(first));
    EXPECT_EQ(Count(f.str()), 3);
    EXPECT_EQ(counter.LastRoute(), Route::Table);
}

TEST_F(TableRouteTest, WhatItCannotConfirmGoesOn) {
    {  // the tree's root freed by the newest section: the table route gives up
        TableFile f("\n", "\r\n");
        Pages(f, 2);
        const std::size_t first = f.Section(Numbers(2), " /Root 1 0 R");
        f.Forget(2);
        f.Section({2}, " /Root 1 0 R /Prev " + std::to_string(first));
        Count(f.str());
        EXPECT_NE(counter.LastRoute(), Route::Table);
    }
    {  // a /Prev chain that leads back to itself ends
        TableFile f("\n", "\r\n");
        Pages(f, 2);
        std::string bytes = f.str();
        const std::size_t at = bytes.size();
        f.Section({0, 1}, " /Root 1 0 R /Prev " + std::to_string(at));
        Count(f.str());
        EXPECT_NE(counter.LastRoute(), Route::Table);
    }
    {  // a second number after the count ("/Count 2 9 0 R"): not trusted,
       // the structural reader counts the leaves
        TableFile f("\n", "\r\n");
        Pages(f, 2, " 9 0 R >>");
        f.Section(Numbers(2), " /Root 1 0 R");
        EXPECT_EQ(Count(f.str()), 2);
        EXPECT_NE(counter.LastRoute(), Route::Table);
    }
    {  // an entry whose offset does not hold its object
        TableFile f("\n", "\r\n");
        Pages(f, 2);
        f.Section(Numbers(2), " /Root 1 0 R");
        std::string bytes = f.str();
        bytes.replace(bytes.find("\n1 1\n") + 5, 10, "0000000003");  // the catalog's entry
        Count(bytes);
        EXPECT_NE(counter.LastRoute(), Route::Table);
    }
}

}  // namespace
}  // namespace brastel::test
