// The linear search: streams numbers.txt and compares every number with the target.
#include "search/linearSearch.h"

#include <iostream>

#include "frontend/programState.h"
#include "frontend/readingProgress.h"
#include "scan/splitReading.h"
#include "search/searchDialogue.h"
#include "search/threadedFile.h"
#include "system/memoryLeft.h"

void linearSearch() {
    instanceCount = 0;
    comparisonCount = 0;
    std::cout << '\n';
    askForTarget();

    // A file that never opened yields nothing. Any other is read from its
    // start, as the name names it now, so that every search sees the whole
    // file as it is; one that cannot be repositioned (a pipe) is read on from
    // where it stands.
    reopenUnsortedFileIfReplaced();
    if (unsortedFile.is_open()) {
        unsortedFile.clear();
        unsortedFile.rdbuf()->pubseekpos(0, std::ios::in);
        ReadingProgress progress("numbers.txt", *unsortedFile.rdbuf());
        // A regular file, as the stream has it open, split over the threads
        // that fit; anything else, or a file too small to be worth it, on
        // this thread through the stream.
        scan::SplitFile split =
            openThreadedFile("numbers.txt", unsortedFileIdentity, memoryLeft(readMemoryReadings()),
                             kCountThreadMemory);
        split.pieceSize = scan::countPieceSize(split.size, split.threads);
        split.whileWaiting = [&progress](std::uint64_t read) { progress.advanceTo(read); };
        const scan::NumberCount count =
            scan::CountWork(currentNumber).countAll(progress.stream(), split);
        closeThreadedFile(split);
        progress.erase();
        comparisonCount = count.numbers;
        instanceCount = count.matches;
        // The stream ends failed, as after the extraction that stopped it.
        unsortedFile.setstate(std::ios::failbit);
        reportEarlyStop("unsorted file", count.end);
    }

    printSearchReport();
    currentNumber = 10;  // matches none of the menu's remaining tests
}
