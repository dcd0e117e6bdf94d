#pragma once
// Window state that the offered package check sets; the window renders it on its tick.

namespace quillory {

struct GantryAlert {
    // Draws attention to the manager button: a needed offered package is missing.
    bool managerBlink = false;
};

} // namespace quillory
