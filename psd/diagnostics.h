// The reader's diagnostic lines: one printf per message on standard output,
// beginning with a newline and without a trailing one.
#pragma once

namespace psd {

// "\n***ERROR*** [Tag] text": a failure also reported to the caller by its result.
void ReportError(const char* tag, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// "\n***ASSERT FAILED*** text": a broken expectation; execution goes on.
void ReportAssert(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Prints "Pointer is null." when pointer is null; returns whether it was non-null.
bool AssertNotNull(const void* pointer);

}  // namespace psd
