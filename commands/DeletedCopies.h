// Copies of what the delete commands remove, kept before they remove it.
#pragma once

#include "Registry.h"

#include <string>

// Writes the key `name` (taken below the open key as RemoveKey takes it) with
// everything below it, or the value `name` of the open key, to a .reg file in
// the folder of deleted copies. Nothing is written when there is nothing to
// delete. Raises ERegistryException saying why when the copy cannot be
// written: the delete must then not happen.
void KeepDeletedKey(const TRegistry &access, const std::string &name);
void KeepDeletedValue(const TRegistry &access, const std::string &name);
