// The terms page's web link: the maker's web site opened through the shell.
#pragma once

namespace ferrolin {

// Asks the shell to open the maker's web address with its default action in a normal
// window; the result is not examined and nothing is reported.
void prcLinkCia();

}  // namespace ferrolin
