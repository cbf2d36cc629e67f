#include "tools/filespack/reading/integrity_report.h"

namespace {

class ReleaseBehind : public DigestProgress {
  public:
    explicit ReleaseBehind(const PackageSource& source) : source_(source) {}
    void Passed(size_t bytes) override { source_.ReleaseConsumed(static_cast<int64_t>(bytes)); }

  private:
    const PackageSource& source_;
};

const char* Why(IntegrityProblem problem) {
    switch (problem) {
        case IntegrityProblem::DIGEST_DIFFERS:
            return "its bytes do not give the XXH3-128 digest in its integrity record";
        case IntegrityProblem::RECORD_DAMAGED:
            return "its integrity record is damaged, or its length no longer ends at the record";
        case IntegrityProblem::CUT_SHORT:
            return "truncated: the bytes that hold its integrity record are missing";
        case IntegrityProblem::NONE:
            break;
    }
    return "damaged";
}

}  // namespace

IntegrityCheck CheckSourceIntegrity(const PackageSource& source) {
    ReleaseBehind release(source);
    const IntegrityCheck check = CheckIntegrity(source.bytes().data(), source.length,
                                                source.file.mapped() ? &release : nullptr);
    source.file.ReleaseAll();
    return check;
}

std::string IntegrityWords(const IntegrityCheck& check) {
    switch (check.verdict) {
        case IntegrityVerdict::VERIFIED:
            return "integrity: verified";
        case IntegrityVerdict::NO_RECORD:
            return "no integrity record";
        case IntegrityVerdict::MISMATCH:
            break;
    }
    return std::string("integrity: MISMATCH (") + Why(check.problem) + ")";
}

const char* IntegrityJsonValue(const IntegrityCheck& check) {
    switch (check.verdict) {
        case IntegrityVerdict::VERIFIED:
            return "verified";
        case IntegrityVerdict::NO_RECORD:
            return "none";
        case IntegrityVerdict::MISMATCH:
            break;
    }
    return "mismatch";
}
