// The tool's integrity check of a package, and how it words the outcome.
#pragma once

#include <string>

#include "package/integrity_record.h"
#include "tools/filespack/reading/package_source.h"

// Checks the package in `source`. A mapped file's pages are given back behind the digest, so
// that the check, like the engine, never holds the whole package in memory.
IntegrityCheck CheckSourceIntegrity(const PackageSource& source);

// "integrity: verified", "no integrity record", or "integrity: MISMATCH (why)".
std::string IntegrityWords(const IntegrityCheck& check);

// The same for JSON: "verified", "none" or "mismatch".
const char* IntegrityJsonValue(const IntegrityCheck& check);
