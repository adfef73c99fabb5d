// Shared helpers of the counter tests: the scratch folder and counting with
// the deciding route.
#pragma once

#include "brastelpeer.h"

#include <component/count_reason.h>
#include <temp_dir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace brastel::test {

using fixtures::TempDir;

// With BRASTEL_WRITE_SEEDS set to a folder, keeps a test's file there
// under the name, as a fuzzing seed (fuzz/seeds/pdfcount/ holds them).
inline void KeepAsSeed(const std::string& name, const std::string& bytes) {
    if (const char* seeds = std::getenv("BRASTEL_WRITE_SEEDS"); seeds && !name.empty())
        std::ofstream(std::string(seeds) + "/" + name + ".pdf", std::ios::binary) << bytes;
}

// A counter instance owned by a test.
class Counter {
public:
    Counter() : b_(NewBrastelv1()) {}
    ~Counter() { b_->Release(); }
    Counter(const Counter&) = delete;
    Counter& operator=(const Counter&) = delete;

    std::int32_t Count(const std::string& path) {
        std::string p = path;
        std::int32_t result = 12345;
        EXPECT_EQ(b_->PDF_PageCount(p, result), component::S_OK);
        EXPECT_EQ(p, path);  // the path is left unchanged
        return result;
    }
    Route LastRoute() const { return BrastelPeer::LastRoute(*b_); }
    Brastelv1& operator*() { return *b_; }
    Brastelv1* operator->() { return b_; }

private:
    Brastelv1* b_;
};

// The reason code the counter keeps for its last count.
inline component::CountReason LastReasonCode(Brastelv1& b) {
    component::ICountReason* why = nullptr;
    if (b.QueryInterface(component::IID_ICountReason, reinterpret_cast<void**>(&why)) != component::S_OK) return {};
    std::int32_t code = -1;
    component::Text text;
    why->LastCountReason(code, text);
    why->Release();
    return static_cast<component::CountReason>(code);
}

}  // namespace brastel::test
