#pragma once
// The records of the programs that owned a classes-root name before Tervix took it: an
// extension (with its "New" menu entry), a volume name, ".rev". A machine-wide install
// keeps every record in two places: in the product settings ("Setup\.zip"), where the
// main program reads it and a settings file may hold it, and in the machine's registry,
// where every account and every settings mode finds it. A release reads the first place
// that has one, and a record goes only once the name it describes has been given back.
// An install for one account takes names in that account's own classes, whose previous
// owners are that account's alone: it keeps their records in the account's own hive
// only, apart from those of a machine-wide install on the same machine. The place that
// outlasts the product settings (the machine's, or the account's) is the lasting one.

#include <cstdint>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace tvx {

struct PreviousOwner {
    bool known = false;    // "Exist" and "Type" were recorded
    bool existed = true;   // the class key existed before Tervix took the name
    std::wstring type;     // its default value then; never one of Tervix's ProgIDs
    // The "New" menu entry of an extension, when recorded: the summary that earlier
    // versions wrote and read (a path, "*" for "NullFile", or empty), and, unless
    // shellNewKey is -1, whether the key existed (1 or 0) and every value it held.
    bool hasShellNew = false;
    std::wstring shellNewSummary;
    int32_t shellNewKey = -1;
    std::vector<RegistryValue> shellNewValues;
};

// "Tervix", "Tervix.ZIP" or "Tervix.REV" in any letter case: never another program's.
bool IsTervixProgId(const wchar_t* progId);

// Records who owns name now, before Tervix takes it. A default value that is one of
// Tervix's ProgIDs was not another program's: the older record stays as it is (and
// reaches the machine's place if only the product settings had it). The same holds for
// the "New" menu entry (withShellNew) while Tervix's own is in place. Nothing is
// recorded in a run that leaves the classes root alone.
void RecordPreviousOwner(const wchar_t* name, bool withShellNew, Scope scope);
// Records the "New" menu entry an extension has now, keeping the rest of its record.
void RecordShellNewOwner(const wchar_t* extension, Scope scope);
// Before an uninstall releases name: a record that only the product settings hold (the
// setup of an earlier version wrote it there) goes to the machine's place as well,
// where the release keeps what it cannot give back once the product settings are gone.
// An install for one account never kept one there: nothing to do.
void SecurePreviousOwner(const wchar_t* name, Scope scope);
// Puts the records written since the last time on the disk, with everything else of
// their hives (a registry flush); nothing to do when none was written. Called once all
// are written and before the first of their names changes hands.
void FlushPreviousOwners();

// The record of name: the product settings' first, else the lasting one. False when
// no place of the scope has one.
bool FindPreviousOwner(const wchar_t* name, PreviousOwner* owner, Scope scope);
// After a release of name: once it was given back, every record of the scope goes (the
// product settings keep their other values there, such as the group's "Set" choice);
// else the record is kept in the lasting place as well, where the next run finds it
// after the uninstall has deleted the product settings. The run's next flush puts that
// on the disk.
void SettlePreviousOwner(const wchar_t* name, const PreviousOwner* owner, bool givenBack, Scope scope);
// Deletes the lasting record of a name that is no longer Tervix's: nothing is left to
// give back. The product settings' record stays as it is.
void ForgetLastingRecord(const wchar_t* name, Scope scope);

// Deletes the product key that holds the lasting records (the machine's, or for an
// install for one account the account's own, which holds its settings too), as the
// relative "" or the absolute "\Software\Tervix", with everything in it but the records
// of names not given back.
void DeleteProductKey(const wchar_t* key, Scope scope);

}  // namespace tvx
