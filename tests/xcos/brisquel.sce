exit(1);
