// The web API's JSON answers, one record kind per first byte: the list envelope, users, teams,
// profiles, records and bundle permissions, as lists and as single objects. An unexpected type
// throws OVException by contract (the resource operations catch it); anything else is a finding.
#include "OVException.h"
#include "OVModelBuilder.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace {

using Builder = std::function<void(const QByteArray&, OVError*)>;

template <typename Result> Builder builder(Result (*build)(const QByteArray&, OVError*)) {
    return [build](const QByteArray& json, OVError* error) { (void)build(json, error); };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Builder builders[] = {
        builder(&OVModelBuilder::buildMetaDataFromJson),
        builder(&OVModelBuilder::buildUsersFromJson),
        builder(&OVModelBuilder::buildUserFromJson),
        builder(&OVModelBuilder::buildTeamsFromJson),
        builder(&OVModelBuilder::buildProfileFromJson),
        builder(&OVModelBuilder::buildRecordsFromJson),
        builder(&OVModelBuilder::buildRecordFromJson),
        builder(&OVModelBuilder::buildBundlePermissionsFromJson),
        builder<std::optional<OVBundlePermission>>(&OVModelBuilder::buildBundlePermissionFromJson),
    };
    if (size == 0)
        return 0;
    OVError error;
    try {
        builders[data[0] % std::size(builders)](
            QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1)), &error);
    } catch (const OVException&) {
    }
    return 0;
}
