// Cmds21.so: HotSync's command library. Conduits only load it and keep it loaded for the
// synchronisation; nothing in it is called.
