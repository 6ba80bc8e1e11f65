#pragma once
#include "platform/linux/copy/CopyBatch.h"

namespace dravolin::lnx {

// Copies one regular file of `folder` into the target folder under a temporary name and adds
// it to the batch: asks first when a file of that name exists, asks again on every error.
Flow AddFile(CopyOperation& operation, const OpenFolder& folder, const SourceNode& file,
             CopyBatch& batch);

enum class WriteOutcome { Written, Skipped, Cancelled };
// The writing alone, for a first copy and for a retry after a failed flush.
WriteOutcome WriteTemp(CopyOperation& operation, const OpenFolder& folder, const SourceNode& file,
                       bool mayReplace, CopyBatch& batch);

}  // namespace dravolin::lnx
