int osl_placeholder;
