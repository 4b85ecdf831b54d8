// The Group Policy templates in policy/ against the program: both files are
// well-formed XML (expat reads them), hold the structure the PolicyDefinitions
// format prescribes (no schema can be fetched here, so the rules this product
// relies on are checked one by one), and every setting they offer is one the
// program reads: each policy is applied to a registry as Group Policy would
// apply it, enabled and disabled, in each scope it names, and read back.
#include <expat.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/group_policy.h"
#include "platform/registry_portable.h"

namespace quellix::platform {
namespace {

constexpr const char* kNamespace = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions";

struct Element {
  std::string name;  // local name; the namespace is checked as it is read
  std::map<std::string, std::string> attributes;
  std::string text;
  std::vector<std::unique_ptr<Element>> children;

  const Element* Child(const std::string& child) const {
    for (const auto& c : children) {
      if (c->name == child) return c.get();
    }
    return nullptr;
  }
  std::vector<const Element*> All(const std::string& child) const {
    std::vector<const Element*> found;
    for (const auto& c : children) {
      if (c->name == child) found.push_back(c.get());
    }
    return found;
  }
  std::string Attribute(const std::string& attribute) const {
    auto it = attributes.find(attribute);
    return it == attributes.end() ? std::string() : it->second;
  }
};

struct Document {
  std::unique_ptr<Element> root;
  std::string error;  // empty when the file is well-formed and every element is in the format's namespace
};

Document Parse(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  struct State {
    Document document;
    std::vector<Element*> open;
  } state;
  XML_Parser parser = XML_ParserCreateNS("UTF-8", '|');
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto& s = *static_cast<State*>(data);
        auto element = std::make_unique<Element>();
        const std::string full = name;
        const auto bar = full.find('|');
        if (bar == std::string::npos || full.substr(0, bar) != kNamespace) {
          s.document.error += "element outside the format's namespace: " + full + "\n";
        }
        element->name = bar == std::string::npos ? full : full.substr(bar + 1);
        for (int i = 0; attributes[i] != nullptr; i += 2) element->attributes[attributes[i]] = attributes[i + 1];
        Element* raw = element.get();
        if (s.open.empty()) {
          s.document.root = std::move(element);
        } else {
          s.open.back()->children.push_back(std::move(element));
        }
        s.open.push_back(raw);
      },
      [](void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<State*>(data);
    if (!s.open.empty()) s.open.back()->text.append(text, static_cast<std::size_t>(length));
  });
  const std::string content = bytes.str();
  if (content.empty()) state.document.error = "cannot read " + path;
  if (XML_Parse(parser, content.data(), static_cast<int>(content.size()), XML_TRUE) == XML_STATUS_ERROR) {
    state.document.error += std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                            std::to_string(XML_GetCurrentLineNumber(parser));
  }
  XML_ParserFree(parser);
  return std::move(state.document);
}

// The children an element of the format may have here, in the order the
// format prescribes them.
const std::map<std::string, std::vector<std::string>>& AllowedChildren() {
  static const std::map<std::string, std::vector<std::string>> allowed = {
      {"policyDefinitions", {"policyNamespaces", "resources", "supportedOn", "categories", "policies"}},
      {"policyNamespaces", {"target", "using"}},
      {"supportedOn", {"definitions"}},
      {"definitions", {"definition"}},
      {"categories", {"category"}},
      {"category", {"parentCategory"}},
      {"policies", {"policy"}},
      {"policy", {"parentCategory", "supportedOn", "enabledValue", "disabledValue", "elements"}},
      {"enabledValue", {"decimal", "delete"}},
      {"disabledValue", {"decimal", "delete"}},
      {"elements", {"list"}},
      {"policyDefinitionResources", {"displayName", "description", "resources"}},
      {"resources", {"stringTable", "presentationTable"}},
      {"stringTable", {"string"}},
      {"presentationTable", {"presentation"}},
      {"presentation", {"listBox"}},
  };
  return allowed;
}

// Every element only where the format allows it, and in its order.
void CheckStructure(const Element& element, const std::string& where, std::vector<std::string>& problems) {
  auto it = AllowedChildren().find(element.name);
  const std::vector<std::string> none;
  const std::vector<std::string>& allowed = it == AllowedChildren().end() ? none : it->second;
  std::size_t last = 0;
  for (const auto& child : element.children) {
    const std::string path = where + "/" + child->name;
    auto position = std::find(allowed.begin(), allowed.end(), child->name);
    if (position == allowed.end()) {
      problems.push_back("not allowed here: " + path);
    } else if (static_cast<std::size_t>(position - allowed.begin()) < last) {
      problems.push_back("out of order: " + path);
    } else {
      last = static_cast<std::size_t>(position - allowed.begin());
    }
    CheckStructure(*child, path, problems);
  }
}

// "$(string.X)" gives X; anything else gives "".
std::string Reference(const std::string& kind, const std::string& value) {
  const std::string head = "$(" + kind + ".";
  if (value.rfind(head, 0) != 0 || value.back() != ')') return {};
  return value.substr(head.size(), value.size() - head.size() - 1);
}

class PolicyTemplates : public ::testing::Test {
 protected:
  void SetUp() override {
    admx = Parse(QUELLIX_POLICY_DIR "/quellix.admx");
    adml = Parse(QUELLIX_POLICY_DIR "/en-US/quellix.adml");
    ASSERT_EQ(admx.error, "");
    ASSERT_EQ(adml.error, "");
    ASSERT_EQ(admx.root->name, "policyDefinitions");
    ASSERT_EQ(adml.root->name, "policyDefinitionResources");
    ASSERT_NE(admx.root->Child("policies"), nullptr);
  }
  std::vector<const Element*> Policies() const { return admx.root->Child("policies")->All("policy"); }

  Document admx;
  Document adml;
};

TEST_F(PolicyTemplates, AreWellFormedAndHoldTheFormatsStructure) {
  std::vector<std::string> problems;
  CheckStructure(*admx.root, "policyDefinitions", problems);
  CheckStructure(*adml.root, "policyDefinitionResources", problems);
  for (const Element* root : {admx.root.get(), adml.root.get()}) {
    EXPECT_EQ(root->Attribute("revision"), "1.0");
    EXPECT_EQ(root->Attribute("schemaVersion"), "1.0");
  }
  const Element* target = admx.root->Child("policyNamespaces")->Child("target");
  ASSERT_NE(target, nullptr);
  EXPECT_FALSE(target->Attribute("prefix").empty());
  EXPECT_FALSE(target->Attribute("namespace").empty());
  EXPECT_FALSE(admx.root->Child("resources")->Attribute("minRequiredRevision").empty());

  // Every text named is in the language file, and every text there is named.
  std::set<std::string> strings;
  for (const Element* s : adml.root->Child("resources")->Child("stringTable")->All("string")) {
    EXPECT_TRUE(strings.insert(s->Attribute("id")).second) << "twice: " << s->Attribute("id");
    EXPECT_FALSE(s->text.empty()) << s->Attribute("id");
  }
  std::map<std::string, const Element*> presentations;
  for (const Element* p : adml.root->Child("resources")->Child("presentationTable")->All("presentation")) {
    presentations[p->Attribute("id")] = p;
  }
  std::set<std::string> named;
  auto text = [&](const Element& e, const char* attribute) {
    const std::string id = Reference("string", e.Attribute(attribute));
    EXPECT_TRUE(strings.contains(id)) << e.name << " " << e.Attribute("name") << " " << attribute;
    named.insert(id);
  };
  std::set<std::string> definitions;
  for (const Element* d : admx.root->Child("supportedOn")->Child("definitions")->All("definition")) {
    definitions.insert(d->Attribute("name"));
    text(*d, "displayName");
  }
  std::set<std::string> categories;
  for (const Element* c : admx.root->Child("categories")->All("category")) {
    categories.insert(c->Attribute("name"));
    text(*c, "displayName");
  }

  std::set<std::string> names;
  for (const Element* policy : Policies()) {
    const std::string name = policy->Attribute("name");
    EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
    EXPECT_TRUE(std::set<std::string>({"Machine", "User", "Both"}).contains(policy->Attribute("class"))) << name;
    text(*policy, "displayName");
    text(*policy, "explainText");
    ASSERT_NE(policy->Child("parentCategory"), nullptr) << name;
    EXPECT_TRUE(categories.contains(policy->Child("parentCategory")->Attribute("ref"))) << name;
    ASSERT_NE(policy->Child("supportedOn"), nullptr) << name;
    EXPECT_TRUE(definitions.contains(policy->Child("supportedOn")->Attribute("ref"))) << name;
    // A policy sets either one value or its elements, which a presentation shows.
    const Element* elements = policy->Child("elements");
    EXPECT_NE(policy->Attribute("valueName").empty(), elements == nullptr) << name;
    if (elements != nullptr) {
      auto shown = presentations.find(Reference("presentation", policy->Attribute("presentation")));
      ASSERT_NE(shown, presentations.end()) << name;
      for (const Element* list : elements->All("list")) {
        const Element* box = shown->second->Child("listBox");
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(box->Attribute("refId"), list->Attribute("id")) << name;
      }
    }
  }
  named.erase("");
  EXPECT_EQ(named, strings) << "texts in the language file that no policy uses, or missing ones";
  EXPECT_EQ(problems, std::vector<std::string>{});
}

// What Group Policy writes for one policy in one state.
void Apply(PortableRegistry& registry, RegistryRoot root, const Element& policy, bool enabled) {
  const std::string key_path = policy.Attribute("key");
  ScopedRegistryKey key(registry);
  ASSERT_EQ(registry.CreateKeyEx(HandleOfRoot(root), key_path, reg_access::kKeyAllAccess, key.Put()),
            reg_status::kSuccess);
  if (const Element* elements = policy.Child("elements")) {
    if (!enabled) return;  // a disabled list policy writes no entries
    for (const Element* list : elements->All("list")) {
      ScopedRegistryKey list_key(registry);
      ASSERT_EQ(registry.CreateKeyEx(HandleOfRoot(root), list->Attribute("key"), reg_access::kKeyAllAccess,
                                     list_key.Put()),
                reg_status::kSuccess);
      // valuePrefix "": the entries are named 1, 2, ...; anything else the program would not find.
      ASSERT_TRUE(list->attributes.contains("valuePrefix"));
      ASSERT_EQ(list->Attribute("valuePrefix"), "");
      ASSERT_NE(list->Attribute("expandable"), "true");
      registry.SetText(list_key.Get(), "1", "one.example");
      registry.SetText(list_key.Get(), "2", "two.example");
    }
    return;
  }
  const Element* state = policy.Child(enabled ? "enabledValue" : "disabledValue");
  ASSERT_NE(state, nullptr);
  if (state->Child("delete") != nullptr) return;
  const Element* decimal = state->Child("decimal");
  ASSERT_NE(decimal, nullptr);
  const auto value = static_cast<std::uint32_t>(std::stoul(decimal->Attribute("value")));
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), 0, 0, 0};
  registry.SetValue(key.Get(), policy.Attribute("valueName"), reg_type::kDword, bytes, 4);
}

TEST_F(PolicyTemplates, EverySettingOfferedIsReadAndEveryValueReadIsOffered) {
  std::set<std::string> offered;  // value names and list subkeys
  for (const Element* policy : Policies()) {
    const std::string name = policy->Attribute("name");
    const std::string value_name = policy->Attribute("valueName");
    EXPECT_EQ(policy->Attribute("key"), kPolicyKey) << name;
    if (!value_name.empty()) offered.insert(value_name);
    std::string list_subkey;
    if (const Element* elements = policy->Child("elements")) {
      for (const Element* list : elements->All("list")) {
        const std::string key = list->Attribute("key");
        const std::string parent = std::string(kPolicyKey) + "\\";
        EXPECT_EQ(key.rfind(parent, 0), 0u) << key;
        list_subkey = key.substr(parent.size());
        offered.insert(list_subkey);
      }
    }
    std::vector<RegistryRoot> scopes;
    if (policy->Attribute("class") != "User") scopes.push_back(RegistryRoot::LocalMachine);
    if (policy->Attribute("class") != "Machine") scopes.push_back(RegistryRoot::CurrentUser);
    for (RegistryRoot scope : scopes) {
      for (bool enabled : {true, false}) {
        SCOPED_TRACE(name + (enabled ? " enabled" : " disabled") +
                     (scope == RegistryRoot::LocalMachine ? " for the machine" : " for the user"));
        PortableRegistry registry{PortableRegistry::Options{true}};
        Apply(registry, scope, *policy, enabled);
        const GroupPolicy read = ReadGroupPolicy(registry);
        GroupPolicy expected;
        if (list_subkey == kPolicyAllowedSites && enabled) expected.allowed_sites = {"one.example", "two.example"};
        if (list_subkey == kPolicyBlockedSites && enabled) expected.blocked_sites = {"one.example", "two.example"};
        // Enabling a switch's policy fixes it on; disabling fixes it off.
        if (value_name == kPolicyAllowNext) expected.allow_next_off = enabled;
        for (std::size_t i = 0; i < kPolicySwitchNames.size(); ++i) {
          if (value_name == kPolicySwitchNames[i]) expected.fixed[i] = enabled;
        }
        EXPECT_EQ(read, expected);
      }
    }
  }
  std::set<std::string> read(kPolicySwitchNames.begin(), kPolicySwitchNames.end());
  read.insert({kPolicyAllowNext, kPolicyAllowedSites, kPolicyBlockedSites});
  EXPECT_EQ(offered, read);
}

}  // namespace
}  // namespace quellix::platform
