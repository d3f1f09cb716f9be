// Menu action 3: the hash search, not available yet.
#pragma once

// Says that the hash search is in maintenance; reads and changes nothing.
void hashSearch();
