// Reading a multipart/form-data request body, as browsers send a form with a
// file input: the boundary from the content type, and the parts of a body
// held whole in memory. Names, file names and values are kept as sent: no
// URL decoding (a browser writes '"' as %22, CR as %0D and LF as %0A in a
// name), and, as in a URL-encoded form, a NUL byte ends a name or a value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One part of the body: a field's text, or a file with its file name.
struct FormPart {
    std::string name;
    std::string_view value;  // the part's bytes, in the body
    std::string filename;    // as sent; only for a file
    bool isFile = false;
};

// The boundary of `type` when it is multipart/form-data (in any letter
// case) with a boundary parameter of 1 to 70 characters, quoted or not; an
// empty boundary when it is multipart/form-data without a usable one;
// nullopt when it is another type.
std::optional<std::string> multipart_boundary(std::string_view type);

// Why a body did not arrive whole, or none.
enum class MultipartFault {
    none,
    noBoundary,       // no delimiter line in the body
    headersNotEnded,  // a part's header lines do not end before the next delimiter
    noName,           // a part without Content-Disposition: form-data; name="..."
    notClosed,        // the body ends before the closing delimiter
    tooManyParts,     // more than the caller's limit
};

// What `fault` means, for the error log.
const char* multipart_fault_text(MultipartFault fault);

// Reads the parts of `body` in order into `parts`, at most `maxParts` of
// them. A file input left empty (an empty file name and no bytes) is no
// part. The preamble before the first delimiter and the epilogue after the
// closing one are not read.
MultipartFault read_multipart(std::string_view body, std::string_view boundary, std::size_t maxParts,
                              std::vector<FormPart>& parts);
