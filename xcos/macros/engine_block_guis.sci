function guis = engine_block_guis()
    // The interface function of every block of sfun/blocks.records:
    // blower's is BLOWER_c.
    global engine_blocks_toolbox_info
    guis = convstr(engine_blocks_toolbox_info.names, "u") + "_c";
endfunction
