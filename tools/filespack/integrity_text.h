// How the tool words the outcome of a package's integrity check.
#pragma once

#include <string>

#include "package/integrity_record.h"

// "integrity: verified", "no integrity record", or "integrity: MISMATCH (why)".
std::string IntegrityWords(const IntegrityCheck& check);

// The same for JSON: "verified", "none" or "mismatch".
const char* IntegrityJsonValue(const IntegrityCheck& check);
