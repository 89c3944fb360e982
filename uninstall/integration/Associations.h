#pragma once
// File associations: take an archive type, record its previous owner, give it back.

#include <cstddef>

#include "integration/SetupChoices.h"
#include "settings/Settings.h"

namespace tvx {

// The 18 associable groups in fixed order; each entry is one or more extensions
// written without separators (".gz.tgz"). Index 0 is the native format, 1 is ZIP.
extern const wchar_t* const ArchiveTypeTable[18];
inline constexpr size_t kArchiveTypeCount = 18;

// Splits an entry: copies the extension that starts at *cursor into output (50
// characters) and advances the cursor; false at the end of the entry.
bool NextExtension(const wchar_t** cursor, wchar_t* output, size_t size);

// Every operation below acts on the classes of the scope (see ClassesRoot) and keeps
// the records of the previous owners where that scope keeps them.
bool IsOwnedExtension(const wchar_t* extension, Scope scope);
void AssociateExtension(const wchar_t* extension, bool associate, bool shellExtension, bool isNative, bool isZip,
                        Scope scope);
void AssociateAllTypes(const SetupChoices& choices, Scope scope);
// Setup's first step on the classes root: records the owner of every name that taking
// the chosen types and the ProgIDs changes, and puts the records on the disk once,
// before the first of those names changes hands.
void RecordPreviousOwners(const SetupChoices& choices, Scope scope);
// The uninstall's: every record of a name it may give back is where the release needs
// it, and on the disk, before anything is given back or the product settings go.
void SecurePreviousOwners(Scope scope);
bool RegisterProgIds(Scope scope);
// Tells the shell that associations changed without waiting until every window has
// taken the news: one hung window must not hold up an unattended run.
void NotifyAssociationsChanged();
// Gives ".rev" back to the owner recorded when setup took it; at uninstall, after the
// archive types and before the ProgIDs go.
void ReleaseRecoveryVolumeType(Scope scope);

}  // namespace tvx
