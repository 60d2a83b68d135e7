// vxprofile profile current | switch GROUP | assign GROUP SLOT: the two
// profile groups and the slot each selects.
#include <cstdio>
#include <string>

#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

int Current(Context& ctx) {
  if (ctx.args.size() != 1) return Fail("usage: profile current");
  auto dm = LoadManager(ctx, true);
  std::printf("slot %d, group %d\n", dm->CurrentSlot(), dm->FProfileGroupIndex);
  for (int i = 0; i < 2; ++i) std::printf("  group %d selects slot %d\n", i, dm->SlotOfGroup(i));
  return 0;
}

int Profile(Context& ctx) {
  ChangeOptions o;
  int rc = 0;
  if (!TakeChangeOptions(ctx, o, false, rc)) return rc;
  const auto& a = ctx.args;
  const std::string sub = a.empty() ? std::string() : a[0];
  if (sub == "current") return Current(ctx);
  const bool doSwitch = sub == "switch" && a.size() == 2;
  const bool doAssign = sub == "assign" && a.size() == 3;
  if (!doSwitch && !doAssign) return Fail("usage: profile current | profile switch GROUP | profile assign GROUP SLOT");
  const auto group = ParseIndex(a[1], 0, 1);
  if (!group) return Fail("group '" + a[1] + "' is not 0 or 1");
  std::optional<int> slot;
  if (doAssign) {
    slot = ParseIndex(a[2], 0, 4);
    if (!slot) return Fail("slot '" + a[2] + "' is not 0 to 4");
  }
  auto dm = LoadManager(ctx, true);
  std::string done;
  if (doAssign) {
    dm->FProfileSettingGroup.ProfileIndexOfProfileGroup[*group] = *slot;
    // The current group now selects another slot: that slot becomes current.
    if (*group == dm->FProfileGroupIndex) dm->SwitchToProfileGroup(*group);
    done = "group " + a[1] + " selects slot " + a[2];
  } else {
    dm->SwitchToProfileGroup(*group);
    done = "group " + a[1] + " is current: slot " + std::to_string(dm->CurrentSlot());
  }
  const int current = dm->CurrentSlot();
  if (!CheckChangeAllowed(o, &dm->FCurrentProfileInfo, current, rc)) return rc;
  // Both records or neither: the group record goes back when the second fails.
  IRegistry& reg = GetRegistry();
  const auto stored = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kGroupValueName);
  if (!dm->SaveProfileGroupSettingInfoToRegistry()) return Fail("not saved: " + UnsavedValue(kGroupValueName));
  if (!dm->SaveBackAllProfileSettingInfo()) {
    const bool back =
        stored ? reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, kGroupValueName, stored->type, stored->data)
               : reg.DeleteValue(HKEY_CURRENT_USER_, kProfileKeyPath, kGroupValueName);
    return Fail(std::string(back ? "not saved: " : "only half saved (the group record could not be put back): ") +
                UnsavedValue(kAllSettingValueName));
  }
  return FinishChange(*dm, o, dm->FCurrentProfileInfo, current, done);
}

}  // namespace

VX_COMMAND("profile", "profile current|switch GROUP|assign GROUP SLOT  the current slot and the two groups", Profile);

}  // namespace vx::cli
