// Lint for the browser extension, the real-browser test driver and the Node tools.
import js from "@eslint/js";
import globals from "globals";

export default [
  { ignores: ["build/**", "node_modules/**"] },
  js.configs.recommended,
  {
    files: ["extension/**/*.js"],
    languageOptions: {
      globals: { ...globals.browser, ...globals.webextensions },
    },
  },
  {
    files: ["extension/content.js"],
    languageOptions: { sourceType: "script" },
  },
  {
    files: ["tests/**/*.mjs", "tools/**/*.mjs", "eslint.config.js"],
    languageOptions: { globals: { ...globals.node } },
  },
];
