// ESLint over the browser page's script (scripts/run-tests.sh runs it): the recommended
// rules, for a classic script in the browsers of today.
import js from "@eslint/js";

const browser = ["window", "document", "location", "navigator", "sessionStorage", "fetch", "XMLHttpRequest",
  "TextEncoder", "setTimeout", "clearTimeout", "requestAnimationFrame", "localStorage", "btoa", "URL"];

export default [
  {files: ["src/web/page/*.js"], ...js.configs.recommended},
  {
    files: ["src/web/page/*.js"],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: "script",
      globals: Object.fromEntries(browser.map(name => [name, "readonly"])),
    },
  },
];
