// The console bell: a tone of a given pitch and length on the machine's
// console speaker where the process may drive it, else the terminal bell.
//
// Threading: may be called from any thread; the call lasts as long as the tone.
#pragma once

namespace qor {

// Sounds iFrequency Hz for iMilliseconds and returns when the tone is over.
void ConsoleBeep(int iFrequency, int iMilliseconds);

}  // namespace qor
