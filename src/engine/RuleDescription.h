#pragma once
// The one-line texts the rule editors list for a message filter or a sound rule.
#include "store/Records.h"

#include <QString>

namespace ormisk {

// Sender piece, joiner (only when both texts are set) and subject piece, e.g.
// `Sender equal "joe" OR Subject include "sale"`. Texts go in unchanged; Disabled is not shown.
[[nodiscard]] QString DescribeFilter(const FilterRule& rule);
// DescribeFilter's text followed, when a file is named, by ` Play "file"`.
[[nodiscard]] QString DescribeWavAction(const WavAction& action);

} // namespace ormisk
