// The hash search placeholder.
#include "search/hashSearch.h"

#include <iostream>

void hashSearch() {
    std::cout << "in maintenance, sorry!\n";
}
