#pragma once
// The shared types of the system: one text type, shared handles and arrays of them.

#include <memory>
#include <string>
#include <vector>

namespace quillory {

// Byte text in the system code page.
using String = std::string;

// Data objects (file nodes, packages, players, list entries) are held through shared handles.
template <typename T> using Handle = std::shared_ptr<T>;
template <typename T> using HandleArray = std::vector<std::shared_ptr<T>>;

} // namespace quillory
