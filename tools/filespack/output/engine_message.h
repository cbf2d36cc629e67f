// The extraction engine speaks in the Windows program's Japanese; the tool explains it in English
// and quotes it, so that the words match what a user of the program would see.
#pragma once

#include <string>

// What the engine's message (in UTF-8, as EngineOutcome holds it) means, in English.
std::string ExplainEngineMessage(const std::string& message);

// ` (the extractor said "MESSAGE")`, to follow the English.
std::string QuoteEngine(const std::string& message);
