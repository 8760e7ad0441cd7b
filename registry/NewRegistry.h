// A new registry of the program's own (Wine-format files in a folder that had
// none) starts with the keys the presets dialog points to, holding what a
// fresh system holds there, so that every preset leads somewhere.
#pragma once

// Creates those keys and values through the registry API when the registry
// folder in use was new; an existing registry is left as it is. A failure
// raises ERegistryException.
void SeedRegistryIfNew();
