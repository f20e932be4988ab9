// Embeds the plug-in's resources (string tables, boss declarations, menu
// actions, scripting names, views) into the library file itself, in the
// section the host reads through the resource-file record.
asm(".pushsection .osl_resources,\"a\",@progbits\n"
    ".incbin \"" OSL_RESOURCE_FILE
    "\"\n"
    ".byte 0\n"
    ".popsection\n");
