// Building the export table from the result list.
#include "export/export_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

using exporting::BuildExportTable;
using exporting::BuildFullExportTable;
using exporting::ExportTable;
using exporttest::SampleSource;

namespace {

std::vector<std::string> Row(const ExportTable& t, std::size_t r) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < t.Columns(); ++c) cells.emplace_back(t.Cell(c, r));
    return cells;
}

using Cells = std::vector<std::string>;

TEST(ExportTable, KeepsRowsRectangular) {
    ExportTable t({"A", "B", "C"});
    t.AppendRow(Cells{"1"});                  // short row: padded with empty cells
    t.AppendRow(Cells{"x", "y", "z", "extra"});  // long row: cut to the column count
    t.BeginRow();
    t.AppendCell("only");
    ASSERT_EQ(t.Rows(), 4u);
    EXPECT_EQ(Row(t, 0), (Cells{"A", "B", "C"}));
    EXPECT_EQ(Row(t, 1), (Cells{"1", "", ""}));
    EXPECT_EQ(Row(t, 2), (Cells{"x", "y", "z"}));
    EXPECT_EQ(Row(t, 3), (Cells{"only", "", ""}));
    t.AppendRow({"", "b"});  // the partial row before it stays in place
    EXPECT_EQ(Row(t, 3), (Cells{"only", "", ""}));
    EXPECT_EQ(Row(t, 4), (Cells{"", "b", ""}));
}

TEST(BuildExportTable, DefaultsExportEveryFieldOfTheSelectedRows) {
    const auto source = SampleSource();
    const ExportTable t = BuildExportTable(source, {true, true, true, true}, true);
    ASSERT_EQ(t.Columns(), 4u);
    ASSERT_EQ(t.Rows(), 3u);
    EXPECT_EQ(Row(t, 0), (Cells{"Name", "Path", "Size", "Page Count"}));
    EXPECT_EQ(Row(t, 1), (Cells{"a.pdf", "/docs/a.pdf", "     12 KB", "3"}));
    EXPECT_EQ(Row(t, 2), (Cells{"c.pdf", "/docs/c.pdf", "      2 KB", "Error"}));
}

TEST(BuildExportTable, ExportAllKeepsListOrderAndGivesAnEmptyCellForAMissingPageCount) {
    const auto source = SampleSource();
    const ExportTable t = BuildExportTable(source, {true, true, true, true}, false);
    ASSERT_EQ(t.Rows(), 4u);
    EXPECT_EQ(Row(t, 1)[0], "a.pdf");
    // The row without a Page Count cell is exported, not the end of the export.
    EXPECT_EQ(Row(t, 2), (Cells{"b.tif", "/docs/b.tif", "      0 KB", ""}));
    EXPECT_EQ(Row(t, 3)[0], "c.pdf");
}

TEST(BuildExportTable, UncheckedFieldsLeaveNoGap) {
    const auto source = SampleSource();
    const ExportTable t = BuildExportTable(source, {false, true, false, true}, false);
    ASSERT_EQ(t.Columns(), 2u);
    EXPECT_EQ(Row(t, 0), (Cells{"Path", "Page Count"}));
    EXPECT_EQ(Row(t, 1), (Cells{"/docs/a.pdf", "3"}));
    EXPECT_EQ(Row(t, 3), (Cells{"/docs/c.pdf", "Error"}));
}

TEST(BuildExportTable, NoSelectedRowOrEmptyListGivesTheHeaderOnly) {
    auto source = SampleSource();
    for (auto& r : source.rows) r.selected = false;
    EXPECT_EQ(BuildExportTable(source, {true, true, true, true}, true).Rows(), 1u);
    source.rows.clear();
    const ExportTable t = BuildExportTable(source, {true, false, false, false}, false);
    EXPECT_EQ(t.Rows(), 1u);
    EXPECT_EQ(Row(t, 0), (Cells{"Name"}));
}

TEST(BuildExportTable, FullTableNeverHoldsTheHiddenColumn) {
    const auto source = SampleSource();
    const ExportTable t = BuildFullExportTable(source);
    EXPECT_EQ(t.Columns(), 4u);
    EXPECT_EQ(t.Rows(), 4u);
    // A fifth "checked" field (the hidden column) is ignored as well.
    EXPECT_EQ(BuildExportTable(source, {true, true, true, true, true}, false).Columns(), 4u);
}

}  // namespace
