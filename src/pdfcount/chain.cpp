// The chain of readers behind PDF_PageCount.  Each reader runs only when
// the ones before could not decide, and returns its verdict with why: the
// chain keeps what a reader learned of the file (changed while read, wants
// a password) in the count's state, for the failure's reason at the end.
#include "brastelv1.h"
#include "pdflimits.h"
#include "routes/objectscan.h"
#include "streams/objectstream.h"
#include "routes/structural.h"
#include "syntax/textops.h"

#include <sys/stat.h>

#include <cstring>

namespace brastel {

using component::HResult;
using component::S_OK;
using component::Text;

Brastelv1::Outcome::Why Brastelv1::Outcome::Told(bool changed, bool needsPassword) {
    // The stronger reason first: a changed file is not asked for a password.
    if (changed) return Why::Changed;
    if (needsPassword) return Why::NeedsPassword;
    return Why::None;
}

void Brastelv1::Learn(const Outcome& outcome) {
    if (outcome.why == Outcome::Why::Changed) state_.fileChanged = true;
    if (outcome.why == Outcome::Why::NeedsPassword) state_.needsPassword = true;
}

HResult Brastelv1::PDF_PageCount(Text& filenamess, std::int32_t& result) {
    state_ = {};
    reason_.Clear();
    countedSize_ = -1;
    sizes_.clear();
    if (filenamess.empty()) {
        reason_.Set(component::CountReason::CannotOpen, "no file name was given");
        result = 0;
        return S_OK;
    }
    if (file_ >= 0) {  // a count already runs on this instance
        reason_.Set(component::CountReason::CannotOpen, "the counter is busy with another file");
        result = -1;
        return S_OK;
    }
    if (!Open(filenamess)) {
        reason_.Set(component::CountReason::CannotOpen,
                    openError_ != 0 ? std::strerror(openError_) : "not a regular file");
        result = -1;
        return S_OK;
    }
    countedSize_ = fileLength_;
    if (fileLength_ < 1) {
        Close();
        reason_.Set(component::CountReason::Empty);
        result = 0;
        return S_OK;
    }
    // The readers in turn, cheapest first (see Route); a file that changes
    // while it is read ends the chain.
    struct Step {
        Route route;
        Outcome (Brastelv1::*run)(std::int32_t&);
    };
    static constexpr Step kChain[] = {
        {Route::Text, &Brastelv1::TextStep},
        {Route::Table, &Brastelv1::TableStep},
        {Route::Stream, &Brastelv1::StreamStep},
        {Route::Structural, &Brastelv1::StructuralStep},
        {Route::ObjectScan, &Brastelv1::ObjectScanStep},
        {Route::Reconstruction, &Brastelv1::ReconstructionStep},
    };
    result = -1;
    for (const Step& step : kChain) {
        if (onlyRoute_ && step.route != *onlyRoute_) continue;
        if (step.route == Route::Structural) DropXref();
        if (beforeRoute_) beforeRoute_(step.route);
        std::int32_t count = -1;
        const Outcome outcome = (this->*step.run)(count);
        Learn(outcome);
        if (outcome.verdict == Outcome::Counted) {
            state_.route = step.route;
            result = count;
        }
        if (outcome.verdict != Outcome::Next || state_.fileChanged) break;
    }
    if (result < 1) ExplainFailure(result);
    if (result >= 1 && wantSizes_ && !state_.fileChanged) ReadPageSizes(result);
    Close();
    return S_OK;
}

bool Brastelv1::SizeChanged() {
    // libqpdf takes the file's length when it starts; a file that is no
    // longer as long as at the open has changed since.
    struct stat st {};
    if (::fstat(file_, &st) != 0 || st.st_size != fileLength_) state_.fileChanged = true;
    return state_.fileChanged;
}

Brastelv1::Outcome Brastelv1::TextStep(std::int32_t& count) {
    if (!TextRoute(count)) return Outcome::Next;
    state_.answer.count = count;
    return Confirm(state_.answer) ? Outcome::Counted : Outcome::Next;
}

bool Brastelv1::Confirm(const TextAnswer& a) {
    const TreeFacts* t = nullptr;
    if (!ReadTree(t) || t->xref != a.xrefStart || t->count != a.count) return false;
    switch (a.kind) {
    case TextAnswer::Kind::Catalog:
        return t->root == a.root && t->catalogOffset == a.catalogOffset && t->pages == a.pages &&
               t->pagesOffset == a.pagesOffset;
    case TextAnswer::Kind::LinearizedN:
        return true;  // /N is what the catalog's own page tree says
    case TextAnswer::Kind::Climb:
        return t->pages == a.pages && t->pagesOffset == a.pagesOffset;
    }
    return false;
}

Brastelv1::Outcome Brastelv1::TableStep(std::int32_t& count) {
    return TableRoute(count) ? Outcome::Counted : Outcome::Next;
}

Brastelv1::Outcome Brastelv1::StructuralStep(std::int32_t& count) {
    // libqpdf looks for a header it cannot find through the whole file; a
    // file with none near its start is damaged or no PDF at all, and the
    // object scan reads it once instead.
    Text head;
    if (!ReadBytes(0, limits::kHeaderWindow, head) || !Contains(head, "%PDF-")) return Outcome::Next;
    // No "startxref" leads anywhere: without reconstruction libqpdf fails.
    if (state_.treeState != TreeState::Unread && !XrefFound()) return Outcome::Next;
    if (SizeChanged()) return Outcome::Stop;
    StructuralNotes notes;
    const auto counted = CountStructural(file_, path_, Recovery::Off, &notes);
    const Outcome::Why why = Outcome::Told(notes.changed, notes.needsPassword);
    if (!counted) return {notes.refused ? Outcome::Stop : Outcome::Next, why};
    count = *counted;
    return {Outcome::Counted, why};
}

Brastelv1::Outcome Brastelv1::ObjectScanStep(std::int32_t& count) {
    ObjectIndex index;
    switch (ScanObjects(file_, fileLength_, index)) {
    case ScanStatus::Changed:
        return {Outcome::Stop, Outcome::Why::Changed};
    case ScanStatus::TooLarge:
        return Outcome::Next;
    case ScanStatus::Read:
        break;
    }
    // Objects held in object streams count too, as readers rebuild them
    // (unless the file is encrypted: they are then no text to read).
    pdf::ScannedObjectStreams compressed(file_, fileLength_,
                                         index.encrypted ? std::vector<std::int64_t>{} : index.objectStreams);
    if (!index.trailerRoot && !index.lastCatalog) index.lastCatalog = compressed.LastCatalog();
    CompressedObjects inStreams;
    inStreams.read = [&](std::int64_t number, std::string& text, std::int64_t& at) {
        return compressed.Find(number, text, &at);
    };
    inStreams.forEachNumber = [&](const std::function<void(std::int64_t)>& visit) { compressed.ForEachNumber(visit); };
    const ScanVerdict verdict = CountFromIndex(file_, fileLength_, index, count, inStreams);
    if (verdict == ScanVerdict::Counted) return Outcome::Counted;
    // An object stream that is a bomb is left undecoded by libqpdf too.
    if (compressed.bombFound()) return Outcome::Stop;
    // The tree lies in object streams of a filter libqpdf does not decode
    // either: its reconstruction would read the whole file to fail.
    if (compressed.AllSealed() && TreeRootNotPlain(file_, fileLength_, index)) return Outcome::Stop;
    // Not one object header: nothing that a reconstruction could find.
    if (verdict == ScanVerdict::NoTree && index.objects.empty()) return Outcome::Stop;
    return Outcome::Next;
}

Brastelv1::Outcome Brastelv1::ReconstructionStep(std::int32_t& count) {
    if (SizeChanged()) return Outcome::Stop;
    StructuralNotes notes;
    const auto counted = CountStructural(file_, path_, Recovery::On, &notes);
    const Outcome::Why why = Outcome::Told(notes.changed, notes.needsPassword);
    if (!counted) return {Outcome::Stop, why};
    count = *counted;
    return {Outcome::Counted, why};
}

}  // namespace brastel
