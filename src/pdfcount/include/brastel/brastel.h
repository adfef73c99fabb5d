// Public surface of the Brastel PDF page-count component.
#pragma once

#include <component/component.h>

#include <cstdint>

namespace brastel {

// {68B1F6AF-C0FC-4AEB-A00A-D12D47C793E1}
constexpr component::Guid CLSID_Brastelv1{
    0x68B1F6AF, 0xC0FC, 0x4AEB, {0xA0, 0x0A, 0xD1, 0x2D, 0x47, 0xC7, 0x93, 0xE1}};
// {F762CC16-8E52-4B1D-90A0-C63733BA2FDF}
constexpr component::Guid IID__Brastelv1{
    0xF762CC16, 0x8E52, 0x4B1D, {0x90, 0xA0, 0xC6, 0x37, 0x33, 0xBA, 0x2F, 0xDF}};
// {D8C713C3-E97A-402B-97F4-23801325FC40}
constexpr component::Guid LIBID_TernPDF{
    0xD8C713C3, 0xE97A, 0x402B, {0x97, 0xF4, 0x23, 0x80, 0x13, 0x25, 0xFC, 0x40}};

// Identity kept for platforms with a component registry; nothing here
// registers anything.
constexpr const char* kProgId = "TernPDF.Brastelv1";
constexpr const char* kClassName = "Brastelv1";
constexpr const char* kTypeLibName = "TernPDF";
constexpr const char* kTypeLibHelp = "Tern PDF Page Counter";
constexpr unsigned kTypeLibLocale = 1033;
constexpr const char* kVersionText = "2.00";
constexpr const char* kLibraryName = "Brastel";

// Dispatch identifiers of the interface's methods.
constexpr std::int32_t kDispIdPDF_PageCount = 0x60030000;
constexpr std::int32_t kDispIdFindCase = 0x60030003;
constexpr std::int32_t kDispIdGetCrossRef = 0x60030004;

// Default interface, in method-table order.  Every parameter is in-out by
// reference; the status is returned, the result written to the last argument.
struct _Brastelv1 : component::IUnknown {
    // Page count of the PDF at the path: >= 1 pages, 0 for an empty path or
    // empty file, -1 when the file cannot be counted.  Always succeeds.
    virtual component::HResult PDF_PageCount(component::Text& filenamess, std::int32_t& result) = 0;
    // Forward search on the file a running count holds open; fails otherwise.
    virtual component::HResult FindCase(component::Text& SearchString, std::int32_t& StartPosition,
                                        std::int32_t& SuggestedLength, component::Text& AlternateSearch,
                                        component::Text& result) = 0;
    virtual component::HResult GetCrossRef(std::int32_t& FindObject, std::int32_t& startxref,
                                           std::int32_t& result) = 0;

protected:
    ~_Brastelv1() = default;
};

}  // namespace brastel
