#pragma once

// Tells the shell that file associations changed, so that Explorer and open
// file dialogs pick up the new defaults without a restart.
void notifyAssociationsChanged();
