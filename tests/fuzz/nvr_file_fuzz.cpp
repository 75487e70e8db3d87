// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a .nvr file.  A file is taken only when it has exactly 544 bytes
// and every money value is one the image can hold; then writing the record
// again gives the same bytes and the payment totals are the sums.  A file
// that is refused leaves the record as it was.
#include "fuzz_check.h"
#include "nvr_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace termina;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Exactly the file's bytes, on the heap, so a read past them is caught.
  const std::vector<uint8_t> file(data, data + size);
  app::NvrRecord r;
  r.version = 201;
  r.opened = app::NvrDateTime{1, 1, 2007, 10, 20, 30};
  r.cash = 1.25;
  const app::NvrRecord before = r;

  if (!app::DecodeNvrFile(file, r)) {
    FUZZ_CHECK(r == before);
    return 0;
  }
  FUZZ_CHECK(size == app::kNvrFileSize);
  FUZZ_CHECK(app::EncodeNvrFile(r) == file);
  FUZZ_CHECK(r.version == before.version && r.opened == before.opened);
  double sales = 0, returns = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    sales += r.sales[i];
    returns += r.returns[i];
  }
  FUZZ_CHECK(r.salesTotal == sales && r.returnsTotal == returns);
  FUZZ_CHECK(app::IsStorableMoney(r.cash) && std::isfinite(r.deptReturns[5]));
  return 0;
}
