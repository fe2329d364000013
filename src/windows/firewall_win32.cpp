#include "windows/firewall_win32.h"

#include <windows.h>
#include <oleauto.h>
#include <netfw.h>

#include "platform/codepage.h"

namespace {
constexpr int kMostRules = 10000;  // a policy holds a few hundred; the walk stops here whatever it holds

std::string narrow(BSTR text) {
    std::string result = text ? wideToAnsi(std::wstring(text, SysStringLen(text))) : std::string();
    SysFreeString(text);
    return result;
}

FirewallRule ruleOf(INetFwRule* rule) {
    FirewallRule read;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    long profiles = 0, protocol = 0;
    BSTR ports = nullptr, application = nullptr;
    // A field that cannot be read leaves the rule as one that lets nothing in.
    if (FAILED(rule->get_Enabled(&enabled)) || FAILED(rule->get_Direction(&direction)) ||
        FAILED(rule->get_Action(&action)) || FAILED(rule->get_Profiles(&profiles)) ||
        FAILED(rule->get_Protocol(&protocol)))
        return read;
    if (SUCCEEDED(rule->get_LocalPorts(&ports))) read.localPorts = narrow(ports);
    if (SUCCEEDED(rule->get_ApplicationName(&application))) read.application = narrow(application);
    read.enabled = enabled == VARIANT_TRUE;
    read.inbound = direction == NET_FW_RULE_DIR_IN;
    read.allow = action == NET_FW_ACTION_ALLOW;
    read.profiles = profiles;
    read.protocol = static_cast<int>(protocol);
    return read;
}

bool readRules(INetFwPolicy2* policy, std::vector<FirewallRule>* rules) {
    INetFwRules* all = nullptr;
    IUnknown* walker = nullptr;
    IEnumVARIANT* items = nullptr;
    bool ok = SUCCEEDED(policy->get_Rules(&all)) && all && SUCCEEDED(all->get__NewEnum(&walker)) && walker &&
              SUCCEEDED(walker->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&items))) && items;
    VARIANT item;
    VariantInit(&item);
    for (ULONG fetched = 0; ok && rules->size() < static_cast<size_t>(kMostRules) &&
                            items->Next(1, &item, &fetched) == S_OK && fetched == 1;) {
        INetFwRule* rule = nullptr;
        if (item.vt == VT_DISPATCH && item.pdispVal &&
            SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(INetFwRule), reinterpret_cast<void**>(&rule)))) {
            rules->push_back(ruleOf(rule));
            rule->Release();
        }
        VariantClear(&item);
    }
    if (items) items->Release();
    if (walker) walker->Release();
    if (all) all->Release();
    return ok;
}

bool readProfiles(INetFwPolicy2* policy, std::vector<FirewallProfile>* current) {
    long types = 0;
    if (FAILED(policy->get_CurrentProfileTypes(&types))) return false;
    for (long type : {kFirewallDomain, kFirewallPrivate, kFirewallPublic}) {
        if (!(types & type)) continue;
        VARIANT_BOOL enabled = VARIANT_FALSE, blocksAll = VARIANT_FALSE;
        auto profile = static_cast<NET_FW_PROFILE_TYPE2>(type);
        if (FAILED(policy->get_FirewallEnabled(profile, &enabled))) return false;
        if (FAILED(policy->get_BlockAllInboundTraffic(profile, &blocksAll))) blocksAll = VARIANT_FALSE;
        current->push_back({type, enabled == VARIANT_TRUE, blocksAll == VARIANT_TRUE});
    }
    return true;
}
}  // namespace

FirewallReport readFirewall() {
    FirewallReport report;
    INetFwPolicy2* policy = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(NetFwPolicy2), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                                reinterpret_cast<void**>(&policy))) ||
        !policy)
        return report;
    report.known = readProfiles(policy, &report.current) && readRules(policy, &report.rules);
    policy->Release();
    return report;
}
