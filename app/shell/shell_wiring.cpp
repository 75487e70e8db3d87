// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell_wiring.h"

#include "frfunction.h"
#include "function_tree.h"

CFRFunction* CreatePageFromTable(const std::vector<PageKind>& table, const CFRNode& node, PageHost& host) {
  const int argument = node.FirstArgument();
  const PageKind* byCode = nullptr;
  for (const PageKind& k : table) {
    if (k.code != node.code) continue;
    if (k.firstArgument == argument) return k.make ? k.make(host, argument) : nullptr;
    if (k.firstArgument == PageKind::kAnyArgument && !byCode) byCode = &k;
  }
  if (byCode) return byCode->make ? byCode->make(host, argument) : nullptr;
  return new CFRFunction(host);
}
