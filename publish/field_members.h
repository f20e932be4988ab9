// The members of a field record as the dry run shows them: every member a
// publish fills, in one fixed order, as text; and which of them differ
// between the service's record and the one a publish would send.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "service_client/messages.h"

// (member name, text) pairs; an absent text member reads "(absent)".
using FieldMembers = std::vector<std::pair<std::string, std::string>>;

// The members of `field`, `groupName` standing for its logicGroupID. `soap`
// names the control type (its number without a context).
FieldMembers DescribeField(struct soap* soap, const osl_soap::OstrFieldInfo& field,
                           const std::string& groupName);

// The positions at which `before` and `after` (two descriptions in the
// fixed order) differ, every member compared, the last one included; a
// member only one of them has counts as changed.
std::vector<size_t> ChangedMembers(const FieldMembers& before, const FieldMembers& after);
