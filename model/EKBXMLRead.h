#pragma once

#include <string>
#include <string_view>

class TEKXMLElement;

// Readers of answer elements shared by the model loaders. Each raises on a
// missing child or a value that is not a number; the loaders catch at their
// boundary and turn that into a failed load.

// The first child of the name; std::runtime_error when there is none.
const TEKXMLElement &RequiredChild(const TEKXMLElement &parent, std::string_view name);
// The text of the required child, as stored.
std::string ChildText(const TEKXMLElement &parent, std::string_view name);
// The required child's text as a decimal integer; EConvertError naming the child.
int IntChild(const TEKXMLElement &parent, std::string_view name);
// The attribute as a decimal integer; EConvertError naming attribute and element.
int IntAttribute(const TEKXMLElement &el, std::string_view name);
