#pragma once
// The icon a message box shows. The search engine, the export and the window's
// boxes all speak this one enum, so a message passes through without mapping.

namespace component {

enum class MessageIcon { None, Information, Warning, Critical };

}  // namespace component
