// The installer's one custom action of its own (pelkoca.dll): it creates the settings key
// HKEY_LOCAL_MACHINE\Software\Pelko and adds to its access rules one that lets the local Users
// group (S-1-5-32-545) use it with KEY_ALL_ACCESS, inherited by every subkey. The program opens
// the key with full access and deletes and re-creates its Hosts subkey; without this rule an
// unelevated program could save neither options nor friends.
//
// Windows Installer runs it deferred, without impersonation (as LocalSystem), after the files
// are in place; it runs on the installer's own thread. The rules the key already has (the
// ones inherited from Software, for SYSTEM and the administrators) stay as they are.
#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "runtime/Handles.h"

namespace {

// Writes a line into the installer's log (msiexec /l*v), where an administrator looks.
void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(0);
    ::MsiRecordSetStringW(record, 0, text.c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

UINT Failed(MSIHANDLE install, const wchar_t* step, DWORD error) {
    Log(install, std::wstring(L"Pelko: ") + step + L" failed for HKLM\\Software\\Pelko, error " + std::to_wstring(error));
    return ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall GrantUsersSettingsKey(MSIHANDLE install) {
    UniqueRegKey key;
    // The 64-bit view, where the 64-bit program looks, whichever view this DLL is loaded into.
    DWORD error = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Pelko", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY, nullptr, key.Put(), nullptr);
    if (error != ERROR_SUCCESS) return Failed(install, L"creating the key", error);

    PACL rules = nullptr;          // points into described, which owns it
    UniqueLocalMemory described;
    error = ::GetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &rules, nullptr,
                              reinterpret_cast<PSECURITY_DESCRIPTOR*>(described.Put()));
    if (error != ERROR_SUCCESS) return Failed(install, L"reading the access rules", error);

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users))
        return Failed(install, L"making the Users SID", ::GetLastError());
    EXPLICIT_ACCESSW rule{};
    rule.grfAccessPermissions = KEY_ALL_ACCESS;
    rule.grfAccessMode = SET_ACCESS;         // in place of any rule for Users: a repair or upgrade adds no second one
    rule.grfInheritance = CONTAINER_INHERIT_ACE;   // subkeys, also those made later (Hosts)
    rule.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    rule.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    rule.Trustee.ptstrName = static_cast<LPWSTR>(users);
    PACL merged = nullptr;
    error = ::SetEntriesInAclW(1, &rule, rules, &merged);
    ::FreeSid(users);
    if (error != ERROR_SUCCESS) return Failed(install, L"merging the access rules", error);
    UniqueLocalMemory mergedOwner(merged);
    // Also hands the inheritable rule down to subkeys that exist already (an upgrade's Hosts).
    error = ::SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged, nullptr);
    if (error != ERROR_SUCCESS) return Failed(install, L"writing the access rules", error);
    Log(install, L"Pelko: HKLM\\Software\\Pelko is open to the local Users group");
    return ERROR_SUCCESS;
}
