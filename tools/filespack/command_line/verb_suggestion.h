// What to offer when a verb is not one: the verb the user most likely meant.
#pragma once

#include <span>
#include <string>
#include <string_view>

// The verb among `verbs` that `typed` is a slip of the keyboard for, or a word other tools use
// for it ("pack", "unpack", "ls", "verify"); "" when nothing is close enough to be worth saying.
std::string SuggestVerb(std::string_view typed, std::span<const std::string_view> verbs);
