#include "PrivetTool/PrivetPaneClasses.h"

#include <string>
#include <utility>

namespace {

// Registers "<owner>_<baseName>" for the owner in each slot the flavour fills.
template <class Base, std::size_t... Owner>
void registerPaneClasses(const char* baseName, std::index_sequence<Owner...>) {
    const auto registerOne = [baseName]<std::size_t Slot>() {
        const char* owner = kPrivetFlavour.paneClassOwners[Slot];
        if (owner == nullptr) return;
        using Named = PrivetPaneClass<Base, Slot>;
        Named::classRecord.emplace((std::string(owner) + "_" + baseName).c_str(), &Base::classRecord,
                                   platform::Class::factoryOf<Named>());
    };
    (registerOne.template operator()<Owner>(), ...);
}

constexpr auto kOwnerSlots = std::make_index_sequence<std::tuple_size_v<decltype(PrivetFlavour::paneClassOwners)>>();

[[maybe_unused]] const bool kPaneClassesRegistered = [] {
    registerPaneClasses<PrivetBundlePayloadController>("PrivetBundlePayloadController", kOwnerSlots);
    registerPaneClasses<PrivetToolController>("PrivetToolController", kOwnerSlots);
    return true;
}();

} // namespace
