// _quillon: the engine's entry points for the Python package quillon.  Paths
// cross as bytes (the file system's own); the package turns them into str
// where they are UTF-8.  Counting runs with the GIL released.
#include "counter_folder.h"
#include "listed_files.h"
#include "scan_run.h"

#include <output.h>
#include <path_lists.h>
#include <search/component_loader.h>
#include <search/long_path.h>
#include <search/page_sizes.h>
#include <search/row_builder.h>
#include <search/unsearched.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <memory>

namespace py = pybind11;
using namespace pyquillon;

namespace {

// A folder of counter libraries given before the first count (by tests, as
// quillon-count's hidden --component-dir); empty: CounterFolder().
std::string g_folderGiven;
std::atomic<bool> g_loaded{false};

// One loader for the process: each counter library is loaded once and its
// class factory kept, as in quillon-count.
search::ComponentLoader& Loader() {
    // Never destroyed: a scan's thread may still count while the interpreter
    // exits, and the counter libraries stay loaded in any case.
    static auto* loader = new search::ComponentLoader(g_folderGiven.empty() ? CounterFolder() : g_folderGiven);
    g_loaded = true;
    return *loader;
}

// The row builders a single file is counted with, without and with its
// page sizes.
search::RowBuilder& Builder(bool sizes) {
    static search::RowBuilder plain(Loader());
    static search::RowBuilder sized(Loader(), /*sizes*/ true);
    return sizes ? sized : plain;
}

py::object Pages(const search::ResultRow& row) {
    return search::Counted(row) ? py::object(py::int_(row.pages)) : py::object(py::none());
}

// Text for Python; a malformed part (none is expected) becomes U+FFFD rather
// than an exception.
py::str Text(const std::string& s) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace"));
}

// A counted file's note that its count may leave pages out (damage after them).
std::string Warning(const search::ResultRow& row) { return search::Counted(row) ? row.warning : std::string(); }

// A counted file's page sizes: ([(name, width_mm, height_mm, pages,
// a4_equivalents, area_m2)...], a4_equivalents, area_m2, unknown_pages), the
// millimetres None for "unknown size", the numbers unrounded (the package
// rounds them as quillon-count writes them, and totals the unrounded ones
// as it does).  None for a file that was not counted.
py::object SizesTuple(const search::ResultRow& row) {
    if (!search::Counted(row)) return py::none();
    const search::FileSizes f = search::SummarizeSizes(row.pageSizes);
    py::list groups;
    for (const auto& g : f.groups) {
        const bool known = g.name != search::kUnknownSize;
        groups.append(py::make_tuple(Text(g.name), known ? py::object(py::float_(g.widthMm)) : py::object(py::none()),
                                     known ? py::object(py::float_(g.heightMm)) : py::object(py::none()), g.pages,
                                     g.a4Equivalents, g.areaM2));
    }
    return py::make_tuple(groups, f.a4Equivalents, f.areaM2, f.unknownPages);
}

py::tuple RowTuple(const search::ResultRow& row, bool sizes) {
    py::tuple t = py::make_tuple(py::bytes(row.path), search::KindText(row.kind), row.sizeBytes, Pages(row),
                                 Text(search::Counted(row) ? std::string() : row.reason), Text(Warning(row)));
    return sizes ? py::tuple(t + py::make_tuple(SizesTuple(row))) : t;
}

// count(path, sizes) -> (errno, row tuple or None); with sizes the row
// tuple ends in the sizes tuple.  errno is that of a path that
// cannot be read, or -1 when it is a folder, -2 when the file vanished.
py::tuple Count(const py::bytes& pathBytes, bool sizes) {
    const std::string path = pathBytes;
    int error = 0;
    bool folder = false;
    search::RowOutcome outcome;
    {
        py::gil_scoped_release unlocked;
        const search::ReachablePath reachable(path);
        struct stat st {};
        if (reachable.Path().empty())
            error = reachable.Error();
        else if (stat(reachable.Path().c_str(), &st) != 0)
            error = errno;
        else if (S_ISDIR(st.st_mode))
            folder = true;
        else
            outcome = Builder(sizes).Build(path);
    }
    if (error != 0) return py::make_tuple(error, py::none());
    if (folder) return py::make_tuple(-1, py::none());
    if (outcome.vanished) return py::make_tuple(-2, py::none());
    return py::make_tuple(0, RowTuple(outcome.row, sizes));
}

search::CalendarDate Date(const py::tuple& ymd) {
    return search::CalendarDate{ymd[0].cast<int>(), ymd[1].cast<int>(), ymd[2].cast<int>()};
}

class PyScan {
public:
    PyScan(const std::vector<py::bytes>& paths, const py::bytes& listedFolder, const std::vector<py::bytes>& listedNames,
           bool tif, bool pdf, bool subfolders, int dateField, const py::tuple& from, const py::tuple& to, int jobs,
           bool sizes)
        : sizes_(sizes) {
        ScanOptions o;
        auto& in = o.inputs;
        for (const auto& p : paths) in.paths.push_back(p);
        o.listedFolder = listedFolder;
        for (const auto& n : listedNames) o.listedNames.push_back(n);
        in.tif = tif;
        in.pdf = pdf;
        in.includeSubfolders = subfolders;
        in.dateField = dateField;
        if (dateField != search::kDateNone) {
            in.from = Date(from);
            in.to = Date(to);
        }
        in.jobs = jobs;
        in.sizes = sizes;
        run_ = std::make_unique<ScanRun>(Loader(), std::move(o));
    }

    // The next item: ("file", path, kind, size, pages, reason, warning), with
    // sizes asked for followed by the sizes tuple, or ("unsearched", path,
    // folder, reason).  Waits with the GIL released and
    // looks at the interpreter's signals between waits, so Ctrl-C ends the
    // scan at once: the run is stopped and KeyboardInterrupt raised.
    py::tuple Next() {
        ScanItem item;
        if (!Wait(item)) throw py::stop_iteration();
        return Tuple(item);
    }

    // Up to `most` items: waits for the first as Next does, then takes what
    // is ready.  Empty at the end.
    py::list Batch(std::size_t most) {
        py::list out;
        ScanItem item;
        if (!Wait(item)) return out;
        out.append(Tuple(item));
        while (out.size() < most) {
            ScanRun::Next got;
            {
                py::gil_scoped_release unlocked;
                got = run_->Take(item, std::chrono::milliseconds(0));
            }
            if (got != ScanRun::Next::Item) break;
            out.append(Tuple(item));
        }
        return out;
    }

    void StopAndWait() {
        py::gil_scoped_release unlocked;
        run_->Stop();
        run_->Wait();
    }

    py::dict Totals() const {
        const ScanTotals t = run_->Totals();
        py::dict d;
        d["files"] = t.files;
        d["errors"] = t.errors;
        d["tif_pages"] = t.tifPages;
        d["pdf_pages"] = t.pdfPages;
        d["skipped"] = t.skipped;
        d["undated"] = t.undated;
        d["duplicates"] = t.duplicates;
        d["saw_tif"] = t.sawTif;
        d["saw_pdf"] = t.sawPdf;
        d["stopped"] = run_->Stopped();
        return d;
    }

private:
    // The next item into `item`; false at the end.
    bool Wait(ScanItem& item) {
        for (;;) {
            ScanRun::Next got;
            {
                py::gil_scoped_release unlocked;
                got = run_->Take(item, std::chrono::milliseconds(50));
            }
            if (got == ScanRun::Next::Item) return true;
            if (got == ScanRun::Next::Done) return false;
            if (PyErr_CheckSignals() != 0) {
                StopAndWait();
                throw py::error_already_set();
            }
        }
    }

    py::tuple Tuple(const ScanItem& item) const {
        if (item.unsearched)
            return py::make_tuple("unsearched", py::bytes(item.path), item.folder, Text(item.reason));
        return py::tuple(py::make_tuple("file") + RowTuple(item.row, sizes_));
    }

    bool sizes_ = false;
    std::unique_ptr<ScanRun> run_;
};

}  // namespace

PYBIND11_MODULE(_quillon, m) {
    m.doc() = "The C++ engine behind the quillon package (walker, row builder, page counters).";
    m.attr("__version__") = QUILLON_VERSION;
    m.def("count", &Count, py::arg("path"), py::arg("sizes") = false,
          "Counts one file: (errno, (path, kind, size, pages, reason, warning[, sizes])).");
    m.def("counter_folder", &CounterFolder, "Folder the page-counter libraries are loaded from.");
    m.def(
        "_use_counter_folder",
        [](const std::string& dir) {
            if (g_loaded) throw std::runtime_error("the page counters are loaded already");
            g_folderGiven = dir;
        },
        py::arg("folder"), "For tests: load the page counters from this folder (before the first count).");
    m.def(
        "candidates",
        [](const std::vector<py::bytes>& names, bool tif, bool pdf) {
            std::vector<std::string> in(names.begin(), names.end());
            std::vector<py::bytes> out;
            for (auto& n : CandidateNames(in, tif, pdf)) out.emplace_back(n);
            return out;
        },
        py::arg("names"), py::arg("tif"), py::arg("pdf"),
        "The names a folder walk examines as files of the kinds, in its order.");
    m.def(
        "json_string", [](const py::bytes& text) { return cli::QuoteJson(text); }, py::arg("text"),
        "A JSON string of the bytes, as quillon-count writes it (valid UTF-8).");
    m.def(
        "read_path_list",
        [](const py::bytes& name, bool nul) {
            std::vector<std::string> paths;
            std::string why;
            if (!cli::ReadPathList(name, nul, paths, why)) throw py::value_error(why);
            std::vector<py::bytes> out(paths.begin(), paths.end());
            return out;
        },
        py::arg("name"), py::arg("nul"),
        "The paths of a list file, as quillon-count --files-from reads it (ValueError: why it cannot).");
    m.def("total_pages_text", &search::TotalPagesText, py::arg("tif"), py::arg("pdf"), py::arg("tif_pages"),
          py::arg("pdf_pages"), "The totals line: 'Total Pages TIFs = n PDFs = n'.");
    m.def("undated_text", &search::UndatedText, py::arg("count"), py::arg("date_field"),
          "The note on files without the chosen date.");
    py::class_<PyScan>(m, "Scan")
        .def(py::init<const std::vector<py::bytes>&, const py::bytes&, const std::vector<py::bytes>&, bool, bool,
                      bool, int, const py::tuple&, const py::tuple&, int, bool>(),
             py::arg("paths"), py::arg("listed_folder"), py::arg("listed_names"), py::arg("tif"), py::arg("pdf"),
             py::arg("subfolders"), py::arg("date_field"), py::arg("date_from"), py::arg("date_to"), py::arg("jobs"),
             py::arg("sizes") = false)
        .def("next", &PyScan::Next)
        .def("batch", &PyScan::Batch, py::arg("most"))
        .def("stop", &PyScan::StopAndWait)
        .def("totals", &PyScan::Totals);
}
