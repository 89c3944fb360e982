#pragma once
// The user's integration choices: 28 flag bytes, each 0 or 1. All zero removes everything.

#include <cstdint>

namespace tvx {

struct SetupChoices {
    // 0..17: one per group of ArchiveTypeTable; 18, 19: unused.
    uint8_t bytes[28];
};

enum ChoiceByte : int {
    kChoiceFirstAssociation = 0,
    kChoiceAssociationCount = 18,
    kChoiceDesktop = 20,
    kChoiceStartMenu = 21,
    kChoiceProgramGroup = 22,
    kChoiceShellExtension = 23,
    kChoiceCascaded = 24,
    kChoiceMenuIcons = 25,
    kChoiceLegacyMenu = 26,
    kChoiceAlwaysZero = 27,
};

}  // namespace tvx
