// SaveExportFile against a fake window: dialog settings, progress values,
// messages, cancel and failures.
#include "export/export_file.h"
#include "export/export_list.h"
#include "fake_export_ui.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace exporting;
using exporttest::FakeExportUi;
using exporttest::ReadFile;
using fixtures::TempDir;
using Cells = std::vector<std::string>;

namespace {

ExportTable ThreeRows() {
    ExportTable t({"Name", "Page Count"});
    t.AppendRow(Cells{"a.pdf", "3"});
    t.AppendRow(Cells{"b.pdf", "Error"});
    t.AppendRow(Cells{"c.tif", "12"});
    return t;
}

TEST(SaveExportFile, TextKindDialogProgressAndMessage) {
    TempDir dir;
    FakeExportUi ui;
    ui.answer = SaveDialogAnswer{(dir / "report"), 0};  // no extension: none is added
    SaveExportFile(ThreeRows(), false, ui);

    EXPECT_EQ(ui.request.title, "Select Path and Name for Output File.");
    EXPECT_EQ(ui.request.filters, (std::vector<std::string>{"Text Delimited File(*.txt)"}));
    EXPECT_EQ(ui.request.initialName, "*.txt");

    EXPECT_EQ(ReadFile(dir / "report"), "Name^Page Count^\r\na.pdf^3^\r\nb.pdf^Error^\r\nc.tif^12^\r\n");
    EXPECT_EQ(ui.progressMax, 104);
    EXPECT_EQ(ui.progressValues, (std::vector<int>{0, 101, 102, 103, 104, 0}));
    EXPECT_EQ(ui.progressAtMessage, 104);  // reset only after the message is closed
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].first, "Data Exported Successfully.");
    EXPECT_EQ(ui.messages[0].second, MessageIcon::Information);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"max", "message"}));
}

TEST(SaveExportFile, HeaderOnlyTableGoesTo101) {
    TempDir dir;
    FakeExportUi ui;
    ui.answer = SaveDialogAnswer{(dir / "h.txt"), 0};
    SaveExportFile(ExportTable({"Path"}), false, ui);
    EXPECT_EQ(ReadFile(dir / "h.txt"), "Path^\r\n");
    EXPECT_EQ(ui.progressMax, 101);
    EXPECT_EQ(ui.progressValues, (std::vector<int>{0, 101, 0}));
}

TEST(SaveExportFile, WorkbookKindAddsXlsShowsBusyPointerAndNoIcon) {
    TempDir dir;
    // An unrelated text file with the workbook's base name is neither
    // overwritten nor removed: no stage file is used.
    exporttest::WriteFile(dir / "list.txt", "someone else's notes");
    FakeExportUi ui;
    ui.answer = SaveDialogAnswer{(dir / "list"), 0};
    SaveExportFile(ThreeRows(), true, ui);

    EXPECT_EQ(ui.request.filters,
              (std::vector<std::string>{"Microsoft Excel File (*.xls)", "Excel Workbook (*.xlsx)"}));
    EXPECT_EQ(ui.request.initialName, "*.xls");
    EXPECT_EQ(ReadFile(dir / "list.xls").substr(0, 4), "\xD0\xCF\x11\xE0");
    EXPECT_EQ(ReadFile(dir / "list.txt"), "someone else's notes");
    EXPECT_EQ(dir.Names().size(), 2u);
    EXPECT_EQ(ui.progressValues, (std::vector<int>{0, 101, 102, 103, 104, 0}));
    EXPECT_EQ(ui.events, (std::vector<std::string>{"max", "busy", "normal", "message"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].first, "Data Exported Successfully.");
    EXPECT_EQ(ui.messages[0].second, MessageIcon::None);
}

TEST(SaveExportFile, WorkbookNamesAndTheXlsxChoice) {
    TempDir dir;
    {
        FakeExportUi ui;
        ui.answer = SaveDialogAnswer{(dir / "A.XLS"), 0};
        SaveExportFile(ThreeRows(), true, ui);
    }
    {
        FakeExportUi ui;
        ui.answer = SaveDialogAnswer{(dir / "b"), 1};  // the .xlsx filter chosen
        SaveExportFile(ThreeRows(), true, ui);
    }
    {
        FakeExportUi ui;
        ui.answer = SaveDialogAnswer{(dir / "c.xlsx"), 0};  // the name decides
        SaveExportFile(ThreeRows(), true, ui);
    }
    auto names = dir.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A.XLS", "b.xlsx", "c.xlsx"}));
    EXPECT_EQ(ReadFile(dir / "b.xlsx").substr(0, 2), "PK");
}

TEST(SaveExportFile, CancelWritesNothingAndSaysNothing) {
    TempDir dir;
    for (bool toWorkbook : {false, true}) {
        FakeExportUi ui;  // answer stays nullopt: Cancel
        SaveExportFile(ThreeRows(), toWorkbook, ui);
        EXPECT_EQ(ui.dialogs, 1);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_TRUE(ui.progressValues.empty());
    }
    EXPECT_TRUE(dir.Names().empty());
}

TEST(SaveExportFile, FailureNamesTheFileAndTheReason) {
    TempDir dir;
    for (bool toWorkbook : {false, true}) {
        FakeExportUi ui;
        const std::string target = dir / "missing/out.xls";
        ui.answer = SaveDialogAnswer{target, 0};
        SaveExportFile(ThreeRows(), toWorkbook, ui);
        ASSERT_EQ(ui.messages.size(), 1u);
        const auto& [text, icon] = ui.messages[0];
        EXPECT_NE(text.find(target), std::string::npos) << text;
        EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
        EXPECT_EQ(icon, MessageIcon::Critical);
        EXPECT_EQ(ui.progressValues.back(), 0);
        if (toWorkbook) {
            // The busy pointer is gone before the message shows.
            EXPECT_EQ(ui.events, (std::vector<std::string>{"max", "busy", "normal", "message"}));
        }
    }
}

}  // namespace
